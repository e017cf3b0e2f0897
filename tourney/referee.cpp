#include "tourney/referee.h"

#include "book/clsgame.h"
#include "engine/clsengine.h"

namespace drnChess {

namespace {
    // The referee never searches: no transposition table.
    std::unique_ptr<clsEngine> MakeBoard()
    {
        dranbase::clsStrings options;
        options.Add("memory", "-1");
        auto board = std::make_unique<clsEngine>(options, nullptr);
        board->SetKeepLines(false);
        return board;
    }
} // namespace

clsReferee::clsReferee()
    : board_(MakeBoard())
{
}

clsReferee::~clsReferee() = default;

int clsReferee::SideToMove() const
{
    return board_->SideToMove();
}

bool clsReferee::SetStart(const std::string& fen)
{
    history_.Clear();
    played_.clear();
    if (!board_->SetFromFEN(fen)) return false;
    const int fullMove = board_->fullmoveNumber > 0 ? board_->fullmoveNumber : 1;
    startTag_
        = board_->GetFEN() + " " + std::to_string(board_->halfmoveClock) + " " + std::to_string(fullMove);
    moveText_.Reset(fullMove, board_->SideToMove());
    return true;
}

clsMoveVerdict clsReferee::Play(std::string_view text)
{
    clsMoveVerdict v;
    const clsGameMove move = text.empty() ? clsGameMove {} : ReadGameMove(*board_, text);
    if (move.coordinate.empty() || !board_->ApplyGameMove(move.coordinate)) return v;
    v.legal = true;
    v.coordinate = move.coordinate;
    played_ += move.coordinate + " ";
    moveText_.Add(move.san + CheckMark(*board_));
    // One rule for every game: the fourth occurrence first, then the position's own status.
    const bool fourth = history_.Add(PlacementKey(board_->board));
    v.status = static_cast<std::uint32_t>(board_->GameStatus());
    v.code = fourth ? (GameResult::Draw | GameResult::Repetition) : v.status;
    return v;
}

} // namespace drnChess
