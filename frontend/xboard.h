// The xboard side of thinking: the engine's clock, the budget it gives a
// move, the thinking-line format, and playing the engine's move.
#pragma once

#include <string>

#include "frontend/session.h"
#include "search/limits.h"
#include "search/time_manager.h"

// "level MPS BASE INC": the clock fields of a conventional or incremental control.
void set_level(XboardClock& clock, const char* line);

// In clock play (no fixed time per move), the side to move takes its time
// left from the "time" report and the other side from "otim"; without a
// report its clock stays the engine's own.
void apply_clock_reports(XboardClock& clock, const ClockReports& reports, int side_to_move);
// Milliseconds of a decimal count of seconds ("0.5", "2", ".25"; digits past
// the thousandth are dropped); 0 for a text that begins with no number.
int64_t seconds_as_ms(const char* text);
// The side to move's clock as the time manager reads it.
MoveClock xboard_move_clock(const XboardClock& clock, int side_to_move, int64_t overhead = 0);
// Milliseconds the side to move may search; with full_clock by TimeUse
// "full", else by the default rule.
int64_t move_budget(const XboardClock& clock, int side_to_move, bool full_clock = false);
// Charges the side that has just moved (the side not to move now) with the
// time it used and applies the time control.
void charge_clock(XboardClock& clock, int side_to_move_now, int64_t elapsed);

// A thinking line as xboard shows it: depth, score, centiseconds, nodes, the
// variation, then the table hit rate and the speed. With protocol_mates a
// mate in N moves shows as 100000 + N and being mated in N as -100000 - N,
// as the protocol asks; without, mates show in the search's own units.
std::string xboard_thinking_text(const ThinkingLine& line, bool protocol_mates = false);
// Writes each thinking line as xboard_thinking_text gives it: in the
// search's units, or (the modern style's) with the protocol's mates.
extern const SearchReport XBOARD_REPORT;
extern const SearchReport XBOARD_MATES_REPORT;

// Searches the game's position, plays the chosen move and writes it (or
// writes the result when the game is already over), then charges the
// mover's clock. With pondering on, a ponder search then runs on.
void think(Session& s);

// When a ponder search runs and the line is the reply it expects: plays the
// reply, lets the ponder search go on as the real one under the budget of
// the clock now in force, and plays its move as think does. False for any
// other line, which leaves the ponder search running.
bool ponder_hit(Session& s, const char* line);
// Stops a running ponder search; its result is dropped.
void stop_pondering(Session& s);

// "memory N": the table takes the largest size that keeps the whole engine
// within N megabytes. A table of that size already is kept, with what it
// holds (interfaces send the command before every game).
void set_memory(Session& s, int64_t megabytes);
// The table's bucket count under "memory N".
int32_t memory_buckets(int64_t megabytes);

// Analyses the game's position without a time limit and without playing:
// thinking lines up to the iteration limit, or until the stop flag is
// raised. The caller clears the flag first, so that a stop raised just
// before is not lost. True when the search ran to the iteration limit (or
// there was no legal move), false when stopped.
bool analyse(Session& s);

// "exclude MOVE", "include MOVE", "exclude all", "include all": changes the
// root moves searched in the current position; the first of them there
// starts from all its legal moves. An illegal move changes nothing.
void change_exclusions(Session& s, const char* line);
// "Hint: MOVE": the reply the last search expected, the best move of the
// last analysis, or else what a short search finds; nothing without a
// legal move.
void give_hint(Session& s);
// "stat01: TIME NODES DEPTH MOVESLEFT TOTALMOVES MOVE" of the running (or
// last) search, TIME in centiseconds; safe beside a running search.
void write_status(const Session& s);
