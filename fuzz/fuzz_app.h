#pragma once
// The application object of the command-line fuzz targets, built once and silent, and the
// lines of an input (at most 32, so one input stays quick).

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "app/clscorvala.h"
#include "dranbase/clsstring.h"

namespace fuzzing {

inline drnChess::clsCorvala& QuietApp()
{
    static auto app = [] {
        auto a = std::make_unique<drnChess::clsCorvala>(dranbase::clsStrings {});
        a->SetKeepLines(false);
        a->SetEcho(false);
        a->Engine().SetKeepLines(false);
        a->Engine().SetEcho(false);
        return a;
    }();
    return *app;
}

inline void ForEachLine(std::string_view text, const std::function<void(const std::string&)>& handle)
{
    std::size_t pos = 0;
    for (int lines = 0; pos < text.size() && lines < 32; ++lines) {
        std::size_t eol = text.find('\n', pos);
        if (eol == std::string_view::npos) eol = text.size();
        handle(std::string(text.substr(pos, eol - pos)));
        pos = eol + 1;
    }
}

} // namespace fuzzing
