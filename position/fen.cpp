#include "position/fen.h"

#include "position/attacks.h"

namespace {

unsigned piece_from_letter(char c) {
  switch (c) {
    case 'P': return W_PAWN;
    case 'N': return W_KNIGHT;
    case 'B': return W_BISHOP;
    case 'R': return W_ROOK;
    case 'Q': return W_QUEEN;
    case 'K': return W_KING;
    case 'p': return B_PAWN;
    case 'n': return B_KNIGHT;
    case 'b': return B_BISHOP;
    case 'r': return B_ROOK;
    case 'q': return B_QUEEN;
    case 'k': return B_KING;
    default: return EMPTY;
  }
}

// Reads a Chess960 castling field, X-FEN or Shredder-FEN: K and Q name the
// outermost rook of White's back rank on the king's h- or a-side, a file
// letter the rook on that file; lower case is Black's. A right whose king or
// rook is missing is kept with the normal-chess squares, for set-up to report.
void read_castling_960(Position& pos, const char* field, const char* end) {
  Square king_home[2] = {SQ_E1, SQ_E8};
  Square rook_home[4] = {SQ_H1, SQ_A1, SQ_H8, SQ_A8};
  for (const char* c = field; c < end; ++c) {
    const bool white = *c >= 'A' && *c <= 'Z';
    const char letter = white ? *c : char(*c - 'a' + 'A');
    const int rank = white ? 1 : 8;
    const unsigned king = white ? W_KING : B_KING, rook = white ? W_ROOK : B_ROOK;
    int king_file = -1;
    for (int f = 0; f < 8; ++f)
      if (pos.mailbox[make_square(f, rank)] == king) king_file = f;
    int rook_file = -1;
    bool king_side = false;
    if (letter == 'K' || letter == 'Q') {
      king_side = letter == 'K';
      if (king_file >= 0)
        for (int f = king_side ? 7 : 0; f != king_file; f += king_side ? -1 : 1)
          if (pos.mailbox[make_square(f, rank)] == rook) {
            rook_file = f;
            break;
          }
    } else if (letter >= 'A' && letter <= 'H') {
      rook_file = letter - 'A';
      king_side = rook_file > king_file;
      if (king_file < 0 || pos.mailbox[make_square(rook_file, rank)] != rook) rook_file = -1;
    } else {
      continue;
    }
    const int r = (white ? 0 : 2) + (king_side ? 0 : 1);
    pos.castle_flags |= 1u << r;
    if (rook_file >= 0) {
      king_home[white ? 0 : 1] = make_square(king_file, rank);
      rook_home[r] = make_square(rook_file, rank);
    }
  }
  set_castling(pos.castling, true, king_home, rook_home);
}

}  // namespace

Position::Position(const char* fen, bool chess960) {
  rebuild_bb_of_code();
  for (uint32_t& sq : mailbox) sq = EMPTY;

  // Board: digits skip squares, piece letters fill one, anything else is
  // passed over; ranks are not checked, so a long rank runs into the next.
  const char* c = fen;
  int square = 0;
  while (*c && square < 64) {
    if (*c >= '1' && *c <= '8') {
      square += *c - '0';
    } else if (unsigned code = piece_from_letter(*c)) {
      mailbox[square++] = code;
    }
    ++c;
  }

  // Each field is preceded by one separator; a text that ends early leaves
  // the remaining fields absent.
  side_to_move = 1;
  castle_flags = 0;
  ep_square = 0;
  fifty_count = 0;
  if (*c && c[1]) {
    c += 1;
    if (*c == 'b') side_to_move = 0;
    ++c;
    if (*c) {
      ++c;
      const char* field = c;
      for (; *c && *c != ' '; ++c) {
        if (chess960) continue;
        if (*c == 'K') castle_flags ^= CASTLE_WK;
        if (*c == 'Q') castle_flags ^= CASTLE_WQ;
        if (*c == 'k') castle_flags ^= CASTLE_BK;
        if (*c == 'q') castle_flags ^= CASTLE_BQ;
      }
      if (chess960) read_castling_960(*this, field, c);
      if (*c == ' ' && c[1] >= 'a' && c[1] <= 'h') {
        int file = c[1] - 'a';
        ep_square = uint32_t(make_square(file, side_to_move == 1 ? 6 : 3));
      }
    }
  }

  // A Chess960 game without a castling field still plays by its rules.
  castling.chess960 = chess960;
  refresh_from_mailbox(*this);
  history.entries[0].castle_flags = castle_flags;
  history.entries[0].ep_square = ep_square;
  history.entries[0].hash_key = hash_key;
  history.entries[0].fifty_count = 0;

}

std::vector<std::string> setup_problems(const Position& pos) {
  // The accented o of "posicion" is the single byte 0xF3 that the interfaces
  // expect; the en-passant message has always been written without it.
  const std::string illegal = "posici\xF3n ilegal ";
  std::vector<std::string> problems;
  const Bitboard white_king = pos.piece_bb[10], black_king = pos.piece_bb[11];
  if (popcount(white_king) != 1) problems.push_back(illegal + "varios reyes blancos");
  if (popcount(black_king) != 1) problems.push_back(illegal + "varios reyes negros");
  // Without the king in question there is no check to test.
  if (pos.side_to_move == 1 && black_king && attacked_by_white(pos, lowest_bit(black_king)))
    problems.push_back(illegal + "rey negro en jaque");
  if (pos.side_to_move == 0 && white_king && attacked_by_black(pos, lowest_bit(white_king)))
    problems.push_back(illegal + "rey blanco en jaque");
  const uint32_t* box = pos.mailbox;
  // One message per right that lacks its king or rook at home.
  for (int r = 0; r < 4; ++r) {
    const unsigned king = r < 2 ? W_KING : B_KING, rook = r < 2 ? W_ROOK : B_ROOK;
    const CastlingGeometry& g = pos.castling;
    if ((pos.castle_flags & (1u << r)) &&
        !(box[g.king_home[r]] == king && box[g.rook_home[r]] == rook))
      problems.push_back(illegal + "enrroque");
  }
  const Bitboard pawns = pos.piece_bb[0] | pos.piece_bb[1];
  if (pawns & (RANK_1_BB | RANK_8_BB)) problems.push_back(illegal + "de peones");
  if (pos.ep_square) {
    // The pawn that made the double step stands just beyond the target.
    bool pawn_there = pos.side_to_move == 1 ? box[pos.ep_square + 8] == B_PAWN
                                            : box[pos.ep_square - 8] == W_PAWN;
    if (!pawn_there) problems.push_back("posicion ilegal peon pasado");
  }
  return problems;
}

std::string board_diagram(const Position& pos) {
  static const char PIECE_LETTER[7] = {' ', 'P', 'C', 'A', 'T', 'D', 'R'};
  const std::string border = "  +---+---+---+---+---+---+---+---+\n";
  std::string text = border;
  for (int row = 0; row < 8; ++row) {
    text += char('0' + 8 - row);
    text += " |";
    for (int file = 0; file < 8; ++file) {
      unsigned code = pos.mailbox[8 * row + file];
      unsigned kind = kind_of(code);
      bool known = code != 0 && kind >= PAWN && kind <= KING;
      if (known) {
        text += PIECE_LETTER[kind];
        text += is_white_code(code) ? 'B' : 'N';
        text += " |";
      } else {
        text += "   |";
      }
    }
    text += "\n" + border;
  }
  text += "    a   b   c   d   e   f   g   h  \n";
  return text;
}
