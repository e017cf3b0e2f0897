// The search: a fixed-depth negamax alpha-beta over the engine's node stack, without recursion.
//
// Each node slot holds a copy of the board taken when the node was entered; a move is taken
// back by copying it over the board, so the only other state that changes is the side switch.
// Move order inside the tree comes from the generation stages alone (captures first), at the
// root from the scores of the previous iteration. A node's best score starts at its
// grandparent's best (the best the same side already has), and a node is cut off as soon as
// its best reaches the negation of its parent's best.
//
// Each node also keeps the line of moves below it that gave its best score (the principal
// variation), for the thinking line; it is only written, never read by the search itself.
//
// Nothing is allocated here: moves live in the move stack, nodes in the node stack.

#include "engine/clsengine.h"
#include "engine/movesort.h"

namespace drnChess {

namespace {

    bool SameMove(const clsMove& a, const clsMove& b)
    {
        return a.from == b.from && a.to == b.to && a.Promotion() == b.Promotion();
    }

} // namespace

bool clsEngine::ProbeTable(clsSimpleNode* n, int depth)
{
    clsTT* e = share_ ? share_->Entry(n->positionKey) : nullptr;
    n->entry = e;
    if (!e) return false; // no table: every node is searched
    if (e->Key() != n->positionKey) {
        e->Claim(n->positionKey);
        return false;
    }
    ++ttHits;
    // Only a result stored at least as deep as the whole iteration is taken. Game-position marks
    // pass the depth test but carry no result.
    if (e->Depth() >= depth && (e->Flags() & TTFlag::Stored)) {
        n->best = e->Score();
        return true;
    }
    return false;
}

void clsEngine::StoreTable(clsSimpleNode* n, int depth)
{
    clsTT* e = n->entry;
    if (!e) return;
    const int remaining = depth - n->ply;
    if (e->Flags() == 0 || e->Depth() > remaining) e->Put(n->best, remaining);
}

int clsEngine::SearchRoot(int depth)
{
    clsSimpleNode* const root = Root();
    current = root;
    clsMove* const first = root->firstMove;
    clsMove* const end = Next(root)->firstMove;

    // 1. The previous iteration's best first.
    SortByScore(first, end);

    // 2. One node for the root.
    ++nodeCount;
    root->best = Score::None;
    root->movesMade = 0;
    root->boardCopy = board;

    // 3. Fresh scores, except for moves known to lose by mate: they keep theirs and are not
    //    searched again.
    for (clsMove* m = first; m != end; ++m) {
        m->flags &= ~MoveFlag::Bound;
        if (!m->Has(MoveFlag::Loses)) m->order = Score::None;
    }

    // 4. Each root move in order, until stopped.
    for (clsMove* m = first; m != end && !Stopped(); ++m) {
        // 4.1 Taking the king ends the search at once.
        root->currentMove = m;
        if (m->Captured() == King) {
            m->flags |= MoveFlag::Mates;
            m->order = Score::KingCapture;
            PostMoveWithLine(*m, clsLine {});
            return Score::KingCapture;
        }

        // 4.2 Search the reply position.
        int score = m->order;
        clsLine& below = lines_[static_cast<std::size_t>(root->ply + 1)];
        below.length = 0;
        if (!m->Has(MoveFlag::Loses)) {
            ++root->movesMade;
            ++nodeCount;
            MakeMove(*m);
            board.SwitchSide();
            current = Next(root);
            score = Stopped() ? Score::None : -Search(depth);
            current = root;
            board = root->boardCopy;
        }

        // 4.3 A stopped search's score is not used.
        if (Stopped()) break;

        // 4.4 An exact score (not refuted by a cutoff) may become the result.
        if (m->Has(MoveFlag::Bound)) continue;
        m->order = static_cast<std::int16_t>(score);
        if (score < -Score::MateBound) m->flags |= MoveFlag::Loses;
        const clsMove posted = ResultMove();
        const bool isPosted = !posted.Has(MoveFlag::Illegal) && SameMove(*m, posted);
        if (score > root->best || isPosted) {
            root->best = score;
            if (score > posted.order || isPosted) PostMoveWithLine(*m, below);
        }
        if (root->best > Score::MateBound) break;
    }
    PublishNodes();
    return root->best;
}

int clsEngine::Search(int depth)
{
    enum class Step { Enter, NextMove, Scored, Leave };
    clsSimpleNode* const start = current;
    clsSimpleNode* n = start;
    n->movesMade = 0;
    Step step = Step::Enter;

    for (;;) {
        switch (step) {
        case Step::Enter:
            // 1. Enter a node: board copy, the grandparent's best, key, table probe.
            n->boardCopy = board;
            n->best = n->ply >= 2 ? nodes[n->ply - 2].best : Score::None;
            n->stage = 0;
            n->currentMove = nullptr;
            n->positionKey = PositionKey();
            lines_[static_cast<std::size_t>(n->ply)].length = 0;
            if (ProbeTable(n, depth)) {
                step = Step::Leave;
                break;
            }
            // 2. Captures first; skip the stages that produce nothing.
            GenerateMoves(0);
            while (n->currentMove == Next(n)->firstMove && n->stage < 5)
                GenerateMoves(++n->stage);
            step = Step::NextMove;
            break;

        case Step::NextMove: {
            // 3. The current move; at the end of a batch the next stage; after the last stage,
            //    mate or stalemate when no legal move was made.
            if (n->currentMove == Next(n)->firstMove) {
                if (n->stage >= 5) {
                    if (n->movesMade == 0) n->best = n->inCheck ? Score::Mated : Score::Draw;
                    step = Step::Leave;
                } else {
                    GenerateMoves(++n->stage);
                }
                break;
            }
            clsMove* m = n->currentMove;

            // 4. Make it; only a move that can expose the king is tested.
            MakeMove(*m);
            if ((n->inCheck || (m->from & n->pinMask)) && IsAttacked(board.own() & board.kings())) {
                m->flags |= MoveFlag::Illegal;
                board = n->boardCopy;
                ++n->currentMove;
                break;
            }

            // 5. A legal move: descend, or score the leaf. A child is entered only when the move
            //    stack still holds a full list for it (only absurd positions run out).
            ++nodeCount;
            ++n->movesMade;
            if (n->ply < depth && moveStack + MoveStackSize - Next(n)->firstMove >= MovesReservedPerNode) {
                if (n->entry) n->entry->SetOnPath();
                board.SwitchSide();
                n = current = Next(n);
                n->movesMade = 0;
                step = Step::Enter;
                break;
            }
            m->order = static_cast<std::int16_t>(std::int64_t { board.material } + Evaluate());
            lines_[static_cast<std::size_t>(n->ply + 1)].length = 0; // a leaf: nothing below it
            step = Step::Scored;
            break;
        }

        case Step::Leave:
            // 6. Leave a node: return from the start node; unwind at once when stopped; otherwise
            //    the parent's move gets the negated score.
            PublishNodes();
            PollDeadline();
            if (n == start) {
                if (n->entry) n->entry->ClearOnPath();
                board = n->boardCopy;
                return n->best;
            }
            if (Stopped()) {
                for (clsSimpleNode* p = n; p != start; --p)
                    if (p->entry) p->entry->ClearOnPath();
                if (start->entry) start->entry->ClearOnPath();
                current = start;
                board = start->boardCopy;
                return start->best;
            }
            if (n->entry) n->entry->ClearOnPath();
            n = current = n - 1;
            n->currentMove->order = static_cast<std::int16_t>(-(n + 1)->best);
            step = Step::Scored;
            break;

        case Step::Scored: {
            // 7. A scored move: keep it when it improves the node's best; cut off when the parent
            //    would never let the line happen; leave at once on a mate.
            clsMove* m = n->currentMove;
            const int score = m->order;
            if (score <= n->best) {
                board = n->boardCopy;
                ++n->currentMove;
                step = Step::NextMove;
                break;
            }
            n->best = score;
            lines_[static_cast<std::size_t>(n->ply)].Join(*m, lines_[static_cast<std::size_t>(n->ply + 1)]);
            StoreTable(n, depth);
            const int parentBest = (n - 1)->best;
            if (parentBest == Score::None || n->best < -parentBest) {
                if (score >= 5000) {
                    step = Step::Leave;
                } else {
                    board = n->boardCopy;
                    ++n->currentMove;
                    step = Step::NextMove;
                }
                break;
            }
            board = n->boardCopy;
            (n - 1)->currentMove->flags |= MoveFlag::Bound;
            step = Step::Leave;
            break;
        }
        }
    }
}

} // namespace drnChess
