// libFuzzer entry for a .cbk book image: loaded from a file (the only way books are read),
// then searched and listed for the start position when it loaded sorted.

#include <cstdio>
#include <memory>
#include <string>
#include <unistd.h>

#include "book/clsbook.h"
#include "fuzz/fuzz_common.h"
#include "rules/clschesscore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static auto core = std::make_unique<drnChess::clsChessCore>();
    static const std::string path = "/tmp/corvala_fuzz_book_" + std::to_string(::getpid()) + ".cbk";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);

    drnChess::clsBook book;
    book.Load(path, 0);
    drnChess::clsBook limited;
    limited.Load(path, 3);
    if (book.IsSorted()) {
        core->SetFromFEN("");
        std::vector<drnChess::clsBookEntryExt> candidates;
        drnChess::CollectCandidates(*core, book, candidates);
        drnChess::DropRareCandidates(candidates);
        drnChess::BookListing(*core, book);
    } else {
        book.SortAndCombine();
    }
    std::remove(path.c_str());
    return 0;
}
