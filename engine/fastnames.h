#pragma once
// The strong search plays on the rules layer's fast position; these are the names it uses from
// there, declared in its own namespace so that they stand before the classic board's names of
// the same pieces (which have other codes).

#include "rules/fastposition.h"

namespace drnChess::strong {

using fast::FastPosition;
using fast::Move;
using fast::MoveList;
namespace MoveKind = fast::MoveKind;
using fast::From;
using fast::IsPromotion;
using fast::Kind;
using fast::MakeMove;
using fast::NoMove;
using fast::PromotionType;
using fast::To;

using fast::Bishop;
using fast::ColourOf;
using fast::King;
using fast::Knight;
using fast::MakePiece;
using fast::NoPiece;
using fast::NoType;
using fast::Pawn;
using fast::PieceType;
using fast::Queen;
using fast::Rook;
using fast::TypeOf;

using fast::Bit;
using fast::Count;
using fast::FileABits;
using fast::FileOf;
using fast::Flip;
using fast::Lsb;
using fast::Msb;
using fast::PopLsb;
using fast::Rank1Bits;
using fast::RankOf;

using fast::AttackTables;
using fast::BishopAttacks;
using fast::BlackLong;
using fast::BlackShort;
using fast::QueenAttacks;
using fast::RookAttacks;
using fast::Tables;
using fast::WhiteLong;
using fast::WhiteShort;

} // namespace drnChess::strong
