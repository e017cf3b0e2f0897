// The strong search's parameter table.

#include "engine/searchparams.h"

#include <algorithm>

namespace drnChess::strong {

namespace {

    struct Row {
        SearchParam param;
        SearchParamInfo info;
    };

    // The defaults are the values the search was built and measured with; the ranges are where
    // a tuner may look (a divisor never reaches zero).
    constexpr Row Rows[] = {
        { SearchParam::ReverseFutilityDepth, { "search.reversefutility.depth", 7, 1, 12 } },
        { SearchParam::ReverseFutilityMargin, { "search.reversefutility.margin", 90, 20, 250 } },
        { SearchParam::ReverseFutilityMarginImproving,
            { "search.reversefutility.margin.improving", 70, 20, 250 } },
        { SearchParam::NullMoveDepth, { "search.nullmove.depth", 3, 1, 8 } },
        { SearchParam::NullMoveReduction, { "search.nullmove.reduction", 3, 1, 6 } },
        { SearchParam::NullMoveDepthDivisor, { "search.nullmove.depthdivisor", 4, 1, 12 } },
        { SearchParam::NullMoveEvalDivisor, { "search.nullmove.evaldivisor", 200, 50, 800 } },
        { SearchParam::NullMoveEvalMax, { "search.nullmove.evalmax", 3, 0, 6 } },
        { SearchParam::IirDepth, { "search.iir.depth", 6, 2, 20 } },
        { SearchParam::LateMovePruningDepth, { "search.lmp.depth", 8, 1, 16 } },
        { SearchParam::LateMovePruningBase, { "search.lmp.base", 3, 0, 20 } },
        { SearchParam::LateMovePruningDivisor, { "search.lmp.divisor", 2, 1, 4 } },
        { SearchParam::FutilityDepth, { "search.futility.depth", 6, 1, 12 } },
        { SearchParam::FutilityMargin, { "search.futility.margin", 100, 0, 400 } },
        { SearchParam::FutilityMarginPerDepth, { "search.futility.marginperdepth", 90, 20, 300 } },
        { SearchParam::SeeQuietDepth, { "search.see.quiet.depth", 6, 1, 12 } },
        { SearchParam::SeeQuietMarginPerDepth, { "search.see.quiet.margin", 40, 0, 200 } },
        { SearchParam::SeeNoisyDepth, { "search.see.noisy.depth", 6, 1, 12 } },
        { SearchParam::SeeNoisyMarginPerDepth, { "search.see.noisy.margin", 100, 0, 400 } },
        { SearchParam::LmrDepth, { "search.lmr.depth", 3, 1, 8 } },
        { SearchParam::LmrMoves, { "search.lmr.moves", 1, 1, 8 } },
        { SearchParam::LmrMovesPv, { "search.lmr.moves.pv", 2, 1, 12 } },
        { SearchParam::LmrBase, { "search.lmr.base", 75, -100, 200 } },
        { SearchParam::LmrDivisor, { "search.lmr.divisor", 225, 100, 600 } },
        { SearchParam::LmrCutNode, { "search.lmr.cutnode", 1, 0, 3 } },
        { SearchParam::LmrNotImproving, { "search.lmr.notimproving", 1, 0, 3 } },
        { SearchParam::LmrCheck, { "search.lmr.check", 1, 0, 3 } },
        { SearchParam::LmrRefutation, { "search.lmr.refutation", 1, 0, 3 } },
        { SearchParam::LmrHistoryDivisor, { "search.lmr.historydivisor", 8000, 1000, 32000 } },
        { SearchParam::HistoryBonusScale, { "search.history.bonusscale", 16, 1, 64 } },
        { SearchParam::HistoryBonusMax, { "search.history.bonusmax", 8000, 100, 16384 } },
        { SearchParam::AspirationDepth, { "search.aspiration.depth", 5, 2, 20 } },
        { SearchParam::AspirationWindow, { "search.aspiration.window", 25, 5, 200 } },
        { SearchParam::AspirationGrowthDivisor, { "search.aspiration.growthdivisor", 2, 1, 8 } },
        { SearchParam::AspirationGrowthAdd, { "search.aspiration.growthadd", 10, 0, 100 } },
        { SearchParam::DeltaMargin, { "search.quiescence.delta", 200, 0, 1000 } },
        { SearchParam::QuiescenceCheckSee, { "search.quiescence.checksee", 0, -300, 300 } },
        { SearchParam::GoodCaptureSee, { "search.picker.goodcapturesee", 0, -300, 300 } },
        { SearchParam::MateStopMargin, { "search.stop.matemargin", 6, 0, 20 } },
        { SearchParam::SingleReplyDepth, { "search.stop.singlereplydepth", 8, 1, 30 } },
    };

    constexpr bool RowsInOrder()
    {
        if (std::size(Rows) != SearchParamCount) return false;
        for (std::size_t i = 0; i < std::size(Rows); ++i)
            if (static_cast<std::size_t>(Rows[i].param) != i || Rows[i].info.value < Rows[i].info.min
                || Rows[i].info.value > Rows[i].info.max)
                return false;
        return true;
    }
    static_assert(RowsInOrder(), "one row per parameter in SearchParam order, each default in its range");

    constexpr std::array<SearchParamInfo, SearchParamCount> BuildTable()
    {
        std::array<SearchParamInfo, SearchParamCount> table {};
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i] = Rows[i].info;
        return table;
    }
    constexpr std::array<SearchParamInfo, SearchParamCount> Table = BuildTable();

} // namespace

const std::array<SearchParamInfo, SearchParamCount>& SearchParamTable()
{
    return Table;
}

SearchParam FindSearchParam(std::string_view name)
{
    const auto found = std::find_if(
        Table.begin(), Table.end(), [name](const SearchParamInfo& info) { return info.name == name; });
    return static_cast<SearchParam>(found - Table.begin());
}

SearchParams::SearchParams()
{
    for (std::size_t i = 0; i < values_.size(); ++i)
        values_[i] = Table[i].value;
}

bool SearchParams::Set(std::string_view name, int value, std::string& error)
{
    const SearchParam p = FindSearchParam(name);
    if (p == SearchParam::Unknown) {
        error = "unknown search parameter " + std::string(name);
        return false;
    }
    const SearchParamInfo& info = Table[static_cast<std::size_t>(p)];
    if (value < info.min || value > info.max) {
        error = std::string(name) + " " + std::to_string(value) + " is outside " + std::to_string(info.min)
            + ".." + std::to_string(info.max);
        return false;
    }
    values_[static_cast<std::size_t>(p)] = value;
    return true;
}

} // namespace drnChess::strong
