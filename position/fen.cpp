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

}  // namespace

Position::Position(const char* fen) {
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
      for (; *c && *c != ' '; ++c) {
        if (*c == 'K') castle_flags ^= CASTLE_WK;
        if (*c == 'Q') castle_flags ^= CASTLE_WQ;
        if (*c == 'k') castle_flags ^= CASTLE_BK;
        if (*c == 'q') castle_flags ^= CASTLE_BQ;
      }
      if (*c == ' ' && c[1] >= 'a' && c[1] <= 'h') {
        int file = c[1] - 'a';
        ep_square = uint32_t(make_square(file, side_to_move == 1 ? 6 : 3));
      }
    }
  }

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
  const struct {
    uint32_t right;
    Square king, rook;
    unsigned king_code, rook_code;
  } castlings[4] = {{CASTLE_WK, SQ_E1, SQ_H1, W_KING, W_ROOK},
                    {CASTLE_WQ, SQ_E1, SQ_A1, W_KING, W_ROOK},
                    {CASTLE_BK, SQ_E8, SQ_H8, B_KING, B_ROOK},
                    {CASTLE_BQ, SQ_E8, SQ_A8, B_KING, B_ROOK}};
  for (const auto& c : castlings)
    if ((pos.castle_flags & c.right) && !(box[c.king] == c.king_code && box[c.rook] == c.rook_code))
      problems.push_back(illegal + "enrroque");
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
