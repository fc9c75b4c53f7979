// The About window FH_SENDWARDEN_ABOUT: product, version, where the settings
// are kept, and how the program drives the outside mail client.
#pragma once

#include "forms/placed_window.h"

namespace fhsw {

class MainWindow;

class AboutWindow : public PlacedWindow {
public:
    AboutWindow(AppContext& app, MainWindow& main);

    static constexpr const char* kCredit = "By the FH-SendWarden team";
    static constexpr const char* kContact = "fh-sendwarden@example.org";

    Label FH_SENDWARDEN_TITLE_1;
    Label FH_SENDWARDEN_TITLE_2;
    Label FH_SENDWARDEN_VERSION;
    Label FH_SENDWARDEN_CREATOR;
    Label SENDWARDEN_SAVED_DATA_WARNING_LABEL;
    TextBox SENDEMAIL_TEXTBOX;
    TextBox SENDEMAIL_WEBSITE_ADDRESS_TEXTBOX;
    TextBox SENDEMAIL_COMMANDS_TEXTBOX;
    TextBox MERIDEW_DEDICATION_TEXTBOX;
    Label WIKIPEDIA_WEBLINK_LABEL;
    TextBox WIKIPEDIA_WEBLINK_TEXTBOX;
    Label NEWS_ARTICLE_WEBLINK_LABEL;
    TextBox NEWS_ARTICLE_WEBLINK_TEXTBOX;
    Label CARTOON_PIC_WEBLINK_LABEL;
    TextBox CARTOON_PIC_WEBLINK_TEXTBOX;
    PictureBox CARTOON_PIC_PICBOX;
    Line Line1;
    Line Line2;
    Button OK_BUTTON;
};

}  // namespace fhsw
