#include "tourney/referee.h"

#include "book/clsgame.h"
#include "engine/clsengine.h"

namespace drnChess {

namespace {
    // The referee never searches: no transposition table, and nothing of its engine's (its
    // soul) on the console.
    std::unique_ptr<clsEngine> MakeBoard()
    {
        dranbase::clsStrings options;
        options.Add("memory", "-1");
        options.Add("-quiet", "");
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

namespace {
    // The piece letter (lower case) on a square ("e2") of a FEN's placement; ' ' when empty.
    char PieceOn(const std::string& fen, const std::string& square)
    {
        if (square.size() != 2) return ' ';
        const int file = square[0] - 'a', rank = square[1] - '1';
        int r = 7, f = 0;
        for (const char c : fen) {
            if (c == ' ') break;
            if (c == '/') {
                --r;
                f = 0;
            } else if (c >= '1' && c <= '8') {
                f += c - '0';
            } else {
                if (r == rank && f == file) return static_cast<char>(c | 0x20);
                ++f;
            }
        }
        return ' ';
    }

    // The number of pieces in a FEN's placement.
    int PieceCount(const std::string& fen)
    {
        int n = 0;
        for (const char c : fen) {
            if (c == ' ') break;
            n += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        }
        return n;
    }
} // namespace

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
    if (move.coordinate.empty()) return v;
    // The half-move clock is the referee's own count: a pawn move or a capture resets it.
    const std::string before = board_->GetFEN();
    const int clock = board_->halfmoveClock;
    if (!board_->ApplyGameMove(move.coordinate)) return v;
    const bool pawnMove = PieceOn(before, move.coordinate.substr(0, 2)) == 'p';
    const bool capture = PieceCount(board_->GetFEN()) < PieceCount(before);
    board_->halfmoveClock = pawnMove || capture ? 0 : clock + 1;
    v.legal = true;
    v.coordinate = move.coordinate;
    played_ += move.coordinate + " ";
    moveText_.Add(move.san + CheckMark(*board_));
    // One rule for every game: the fourth occurrence first, then the position's own status,
    // then a hundred plies without a capture or a pawn move (a mate on the hundredth ply stands).
    // The game ends here whether or not a player claims the draw.
    const bool fourth = history_.Add(PlacementKey(board_->board));
    v.status = static_cast<std::uint32_t>(board_->GameStatus());
    v.code = fourth ? (GameResult::Draw | GameResult::Repetition) : v.status;
    if (v.code == GameResult::Unfinished && board_->halfmoveClock >= 100)
        v.code = GameResult::Draw | GameResult::FiftyMoves;
    return v;
}

} // namespace drnChess
