#pragma once
// CEscapedText: a typed line with escapes turned into the bytes it stands for: \xHH (two hex
// digits) any byte, \r, \n, \t, and \\ a backslash. A backslash followed by anything else, a
// \x without two hex digits, or a lone backslash at the end is refused with a sentence that
// names the escape and its column, so nothing half-meant goes to the board. Pure; any thread.

#include <string>
#include <string_view>

class CEscapedText {
public:
    struct CResult {
        std::string m_strBytes;
        // Empty when the text was good.
        std::string m_strError;
    };

    static CResult Parse(std::string_view text);
};
