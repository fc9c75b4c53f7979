#include "forms/about_window.h"

#include "forms/main_window.h"

namespace fhsw {

namespace {
constexpr const char* kUsage =
    "How FH-SendWarden drives SendEmail.exe\r\n"
    "\r\n"
    "SAVE in Settings writes SENDEMAIL-RUNNER.BAT into the SENDEMAIL HOME folder. "
    "It runs SendEmail.exe once, with these options in this order:\r\n"
    "\r\n"
    "-f \"FROM\" - the sender\r\n"
    "-t \"TO\" - the recipients\r\n"
    "-cc \"CC\", -bcc \"BCC\" - copy and blind-copy recipients (may be empty)\r\n"
    "-u \"SUBJECT\" - the subject\r\n"
    "-o message-file=\"FILE\" - the message: SENDEMAIL-MESSAGE.txt, written from the typed "
    "message, or your own TXT file\r\n"
    "-s \"SERVER:PORT\" - the SMTP server\r\n"
    "-xu \"USER\", -xp \"PASS\" - the SMTP log-in\r\n"
    "-o reply-to=FROM - replies go to the sender\r\n"
    "-l \"LOG\" - SENDEMAIL-LOG.txt in the SENDEMAIL HOME folder\r\n"
    "-o tls=no|yes|auto - TLS, from the TLS tick boxes\r\n"
    "-o username=USER, -o password=PASS - the log-in once more\r\n"
    "-q -v - quiet on screen, full detail in the log\r\n"
    "-a \"FILE\" - the attachment, when \"Attach File To Email\" is ticked\r\n"
    "\r\n"
    "Values are passed exactly as typed; characters that the command interpreter would "
    "take as its own are escaped in the runner script. The outcome of each send is in the "
    "log: use the Log Manager to read or clear it.\r\n"
    "\r\n"
    "The mail client's options in short\r\n"
    "\r\n"
    "SendEmail.exe -f ADDRESS -t ADDRESS[,ADDRESS...] [options]\r\n"
    "\r\n"
    "Addresses: -f sender; -t, -cc, -bcc recipients, separated by commas or blanks.\r\n"
    "Message: -u subject; -m text, or -o message-file=FILE; -a FILE [FILE...] attachments; "
    "-o message-charset=, -o message-content-type=text|html|auto.\r\n"
    "Server: -s HOST[:PORT] (default localhost:25); -xu USER and -xp PASSWORD log in; "
    "-o tls=auto|yes|no: auto uses STARTTLS when the server offers it, yes insists on it, "
    "no never uses it. There is no implicit TLS: a server that expects TLS from the first "
    "byte (port 465) cannot be reached; use port 587 with tls=yes.\r\n"
    "Headers: -o reply-to=, -o message-header=\"NAME: VALUE\", -o timeout=SECONDS.\r\n"
    "Output: -l FILE appends a report of each run; -q prints nothing; -v, -vv, -vvv more "
    "detail.\r\n"
    "Without a password for a given user it asks for one on its input, which a scheduled "
    "run does not have: save the password with the settings.\r\n";

constexpr const char* kWebsite = "http://caspian.dotconf.net/menu/Software/SendEmail/";
}  // namespace

AboutWindow::AboutWindow(AppContext& app, MainWindow& main)
    : PlacedWindow(app, "FH_SENDWARDEN_ABOUT", "FH-SENDWARDEN - ABOUT", &main, "ABOUT", 13815, 7050),
      FH_SENDWARDEN_TITLE_1(*this, "FH_SENDWARDEN_TITLE_1", "FERN-HOLLOW", {120, 120, 4095, 375}),
      FH_SENDWARDEN_TITLE_2(*this, "FH_SENDWARDEN_TITLE_2", "FH-SENDWARDEN", {120, 540, 4095, 375}),
      FH_SENDWARDEN_VERSION(*this, "FH_SENDWARDEN_VERSION", "Version 1.0", {120, 960, 4095, 375}),
      FH_SENDWARDEN_CREATOR(*this, "FH_SENDWARDEN_CREATOR", kCredit, {120, 1380, 4095, 375}),
      SENDWARDEN_SAVED_DATA_WARNING_LABEL(*this, "SENDWARDEN_SAVED_DATA_WARNING_LABEL",
                                          "!!! NOTE - SAVED DATA IS STORED IN " + app.settingsLocation +
                                              " IN CLEAR TEXT, AND IS NOT ENCRYPTED !!!",
                                          {120, 1860, 4095, 1095}),
      SENDEMAIL_TEXTBOX(*this, "SENDEMAIL_TEXTBOX",
                        "SendEmail.exe - sendemail-1.56 - mail client by Brandon Zehm",
                        {4335, 120, 9270, 315}),
      SENDEMAIL_WEBSITE_ADDRESS_TEXTBOX(*this, "SENDEMAIL_WEBSITE_ADDRESS_TEXTBOX", kWebsite,
                                        {4335, 480, 9270, 315}),
      SENDEMAIL_COMMANDS_TEXTBOX(*this, "SENDEMAIL_COMMANDS_TEXTBOX", kUsage, {4335, 900, 6960, 3615}),
      MERIDEW_DEDICATION_TEXTBOX(*this, "MERIDEW_DEDICATION_TEXTBOX",
                                 "Settings: " + app.settingsLocation +
                                     "\r\nRun files and the log SENDEMAIL-LOG.txt: in the SENDEMAIL HOME folder"
                                     "\r\nThe Log Manager opens and clears the log",
                                 {4335, 4620, 6960, 735}),
      WIKIPEDIA_WEBLINK_LABEL(*this, "WIKIPEDIA_WEBLINK_LABEL", "The mail client on Debian",
                              {4335, 5460, 2220, 255}),
      WIKIPEDIA_WEBLINK_TEXTBOX(*this, "WIKIPEDIA_WEBLINK_TEXTBOX",
                                "https://packages.debian.org/bookworm/sendemail", {4335, 5715, 2220, 315}),
      NEWS_ARTICLE_WEBLINK_LABEL(*this, "NEWS_ARTICLE_WEBLINK_LABEL", "SMTP ports and TLS",
                                 {6705, 5460, 2220, 255}),
      NEWS_ARTICLE_WEBLINK_TEXTBOX(*this, "NEWS_ARTICLE_WEBLINK_TEXTBOX",
                                   "587: TLS yes; 25: auto\r\n465: cannot work",
                                   {6705, 5715, 2220, 555}),
      CARTOON_PIC_WEBLINK_LABEL(*this, "CARTOON_PIC_WEBLINK_LABEL", "Without a screen",
                                {9075, 5460, 2220, 255}),
      CARTOON_PIC_WEBLINK_TEXTBOX(*this, "CARTOON_PIC_WEBLINK_TEXTBOX",
                                  "fh-sendwarden-setup\r\n--help",
                                  {9075, 5715, 2220, 555}),
      CARTOON_PIC_PICBOX(*this, "CARTOON_PIC_PICBOX", "about.png", {11400, 900, 2250, 4305}),
      Line1(*this, "Line1", {120, 1800, 4095, 0}),
      Line2(*this, "Line2", {4215, 120, 0, 6375}),
      OK_BUTTON(*this, "OK_BUTTON", "OK", {120, 5760, 3975, 495}) {
    for (Label* title : {&FH_SENDWARDEN_TITLE_1, &FH_SENDWARDEN_TITLE_2, &FH_SENDWARDEN_VERSION,
                         &FH_SENDWARDEN_CREATOR}) {
        StyleAsTitle(*title);
        title->setAlign(Align::Center);
    }
    SENDWARDEN_SAVED_DATA_WARNING_LABEL.setBackground(colours::Red);
    SENDWARDEN_SAVED_DATA_WARNING_LABEL.setBold(true);
    SENDWARDEN_SAVED_DATA_WARNING_LABEL.setPointSize(8.25);
    SENDWARDEN_SAVED_DATA_WARNING_LABEL.setAlign(Align::Center);
    for (TextBox* box : {&SENDEMAIL_TEXTBOX, &SENDEMAIL_WEBSITE_ADDRESS_TEXTBOX}) {
        box->setReadOnly(true);
        box->setAlign(Align::Center);
        box->setBackground(colours::LightCyan);
    }
    SENDEMAIL_COMMANDS_TEXTBOX.setReadOnly(true);
    SENDEMAIL_COMMANDS_TEXTBOX.setMultiLine(true);
    for (TextBox* box : {&MERIDEW_DEDICATION_TEXTBOX, &WIKIPEDIA_WEBLINK_TEXTBOX,
                         &NEWS_ARTICLE_WEBLINK_TEXTBOX, &CARTOON_PIC_WEBLINK_TEXTBOX}) {
        box->setReadOnly(true);
        box->setBackground(colours::LightGreen);
    }
    MERIDEW_DEDICATION_TEXTBOX.setMultiLine(true);
    MERIDEW_DEDICATION_TEXTBOX.setAlign(Align::Center);
    MERIDEW_DEDICATION_TEXTBOX.setBold(true);
    NEWS_ARTICLE_WEBLINK_TEXTBOX.setMultiLine(true);
    CARTOON_PIC_WEBLINK_TEXTBOX.setMultiLine(true);
    setDefaultButton(&OK_BUTTON);

    FH_SENDWARDEN_CREATOR.onDoubleClick = [this] { FH_SENDWARDEN_CREATOR.setText(kContact); };
    OK_BUTTON.onPress = [this] {
        storePlace();
        close();
    };
}

}  // namespace fhsw
