// How a line of a Windows batch script reaches a program, in both
// directions: writing a command line so that every value arrives exactly as
// typed, and reading runner-script lines the way the command interpreter
// does (used by fh-sendwarden-run on Linux).
//
// A command line in a batch file passes two parsers:
// 1. The command interpreter (cmd.exe) replaces "%%" by "%" (a single "%"
//    starts a variable), drops CR characters, and keeps a quote flag that
//    every '"' toggles. Outside quotes, '^' makes the next character plain
//    (and is removed), and & | < > are operators; ( ) group commands. Inside
//    quotes all of these are plain. The text that remains is handed to the
//    program unchanged, quotes included. Delayed expansion is off, so '!' is
//    plain.
// 2. The program's C runtime splits that text into argv: blanks and tabs
//    separate arguments outside quotes; '"' toggles quoting and is removed;
//    backslashes are plain unless they precede a '"': 2n backslashes and '"'
//    give n backslashes and a quote delimiter, 2n+1 give n backslashes and a
//    literal '"'; inside quotes, '""' gives a literal '"' and ends the quoted
//    part. The program name (argv[0]) follows simpler rules: quotes group and
//    are removed, nothing else is special.
// The command interpreter knows nothing of backslash escapes: a \" that the
// C runtime reads as a literal quote still toggles the interpreter's quote
// flag, and from there on the two disagree about what is quoted. Wine's
// interpreter, which guesses nested quotes, disagrees with both. The writer
// therefore never lets a literal quote toggle anything (see CmdLineWriter).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fhsw {

// ---- Writing -------------------------------------------------------------

// A value as one C-runtime argument piece in double quotes.
std::string CrtQuoted(std::string_view value);

// A value as a C-runtime argument piece without quotes where it needs none:
// quoted only when it holds a blank or a tab.
std::string CrtBare(std::string_view value);

// A program path in double quotes, as the first token of a command line.
// The program name cannot carry a '"' (cmd and the C runtime both strip
// quotes from it, and no Windows file name holds one), so any '"' in the
// path is left out.
std::string CrtProgramPath(std::string_view path);

// Each CR LF, lone CR or lone LF becomes one blank; `joined` is set when
// there was any.
std::string JoinLineBreaks(std::string_view value, bool& joined);

// Turns C-runtime command-line text into batch-file text that the command
// interpreter turns back into exactly that text. Each call takes one piece
// of the line (a program path, a switch and its value) and leaves the
// interpreter outside quotes, as it found it:
// - a piece whose quotes are all C-runtime delimiters (no literal \") keeps
//   them as they are; inside them every character is plain to the
//   interpreter, outside them ^ & | < > ( ) get a caret. Such a piece's
//   closing quote must be followed by a blank or the end of the line (every
//   switch fragment starts with a blank), so that no interpreter can take it
//   for a quote inside a quoted part;
// - a piece that holds a literal quote is written with every quote as ^"
//   and every ^ & | < > ( ) with a caret: an escaped quote toggles nothing,
//   so the interpreter stays outside quotes for the whole piece and removes
//   each caret, whatever it would have made of the quotes.
// '%' is doubled everywhere.
class CmdLineWriter {
public:
    std::string write(std::string_view commandText);
};

// ---- Reading -------------------------------------------------------------

// One line of a runner script (without its LF), as the command interpreter
// reads it. Only what the program writes into runner scripts is understood:
// TITLE TEXT, ECHO OFF and ECHO ON, ECHO TEXT and ECHO., REM, blank lines, a
// leading '@', and a command line that starts a program named by its path
// (the first word holds a '/'). On each line but a remark, "%%" becomes "%"
// (any other '%' would start a variable), quotes toggle the quote flag, and
// outside quotes a caret makes the next character plain and is removed.
// Anything else (variables, & | < > outside quotes, a caret at the end of the
// line, other commands, labels) is Unsupported, and `text` says why.
struct RunnerLine {
    enum class Kind { Blank, Remark, Echo, EchoState, Title, Program, Unsupported };
    Kind kind = Kind::Blank;
    bool shown = true;              // false after a leading '@'
    std::string display;            // the command as shown while ECHO is on
    std::string text;               // Echo, Title: the text; EchoState: "on" or "off"; Unsupported: why
    std::vector<std::string> argv;  // Program: its path and its arguments, by the C-runtime rules
};

RunnerLine ParseRunnerLine(std::string_view line);

}  // namespace fhsw
