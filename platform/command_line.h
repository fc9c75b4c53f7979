// How a Windows program's C runtime splits its command line into argv. The
// launch text and every runner-script command line are read by these rules,
// on Windows by the started program itself, on Linux by the launcher and the
// runner-script interpreter.
//
// Blanks and tabs separate arguments outside quotes; '"' toggles quoting and
// is removed; backslashes are plain unless they precede a '"': 2n
// backslashes and '"' give n backslashes and a quote delimiter, 2n+1 give n
// backslashes and a literal '"'; inside quotes, '""' gives a literal '"' and
// ends the quoted part. The program name (argv[0]) follows simpler rules:
// quotes group and are removed, nothing else is special.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace fhsw {

// argv of a command line: argv[0] by the program-name rules, the rest by the
// argument rules.
std::vector<std::string> SplitCrtCommandLine(std::string_view line);

}  // namespace fhsw
