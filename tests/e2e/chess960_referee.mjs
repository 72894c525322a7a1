// Holds KELO's legal moves in Chess960 to chessops, an independent referee:
// random start arrays, with some back-rank pieces left out so that castling
// comes often, walked by random moves that take a castling when there is one
// half the time. At every position KELO lists its moves ("go perft 1"),
// given the position as a FEN one time and as the start and its moves the
// next, so that both readings and the move texts are checked too.
// usage: node chess960_referee.mjs REFEREE_DIR KELO GAMES SEED
// Prints "ok POSITIONS CASTLINGS PLAYED" and exits 0, or the first
// difference and exits 1.
import { spawn } from 'node:child_process';
import { pathToFileURL } from 'node:url';

const [refereeDir, keloPath, gamesArg, seedArg] = process.argv.slice(2);
const lib = (name) => import(pathToFileURL(`${refereeDir}/node_modules/chessops/dist/esm/${name}.js`).href);
const { Chess } = await lib('chess');
const { parseFen, makeFen } = await lib('fen');
const { makeUci, parseUci } = await lib('util');

let seed = Number(seedArg || 960) >>> 0;
const random = () => {
  seed = (seed + 0x6d2b79f5) >>> 0;
  let t = seed;
  t = Math.imul(t ^ (t >>> 15), t | 1);
  t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
  return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
};
const pick = (list) => list[Math.floor(random() * list.length)];

// A start array: bishops on squares of both colours, the king between the rooks.
function startArray() {
  const rank = Array(8).fill(null);
  rank[2 * Math.floor(random() * 4)] = 'b';
  rank[2 * Math.floor(random() * 4) + 1] = 'b';
  const free = () => rank.map((p, i) => (p ? -1 : i)).filter((i) => i >= 0);
  rank[pick(free())] = 'q';
  rank[pick(free())] = 'n';
  rank[pick(free())] = 'n';
  const [a, k, h] = free();
  rank[a] = 'r';
  rank[k] = 'k';
  rank[h] = 'r';
  return rank;
}

// The start FEN, with each side's queen, knights and bishops left out at
// random, its castling field in X-FEN or in Shredder-FEN.
function startFen() {
  const rank = startArray();
  const side = (upper) => {
    let text = '', empty = 0;
    for (const p of rank) {
      const kept = p === 'r' || p === 'k' || random() < 0.4;
      if (!kept) { ++empty; continue; }
      if (empty) text += empty;
      empty = 0;
      text += upper ? p.toUpperCase() : p;
    }
    return text + (empty ? empty : '');
  };
  const files = rank.map((p, i) => (p === 'r' ? 'abcdefgh'[i] : '')).join('');
  const castling = random() < 0.5 ? 'KQkq' : files.toUpperCase().split('').reverse().join('') + files.split('').reverse().join('');
  return `${side(false)}/pppppppp/8/8/8/8/PPPPPPPP/${side(true)} w ${castling} - 0 1`;
}

const kelo = spawn(keloPath, [], { stdio: ['pipe', 'pipe', 'inherit'] });
let buffer = '';
const waiters = [];
kelo.stdout.on('data', (chunk) => {
  buffer += chunk.toString('latin1');
  let nl;
  while ((nl = buffer.indexOf('\n')) >= 0) {
    const line = buffer.slice(0, nl).replace(/\r$/, '');
    buffer = buffer.slice(nl + 1);
    for (const w of waiters.slice()) w(line);
  }
});
const send = (line) => kelo.stdin.write(line + '\n');
// The lines up to and including the first that passes test.
const linesUntil = (test) => new Promise((resolve, reject) => {
  const lines = [];
  const timer = setTimeout(() => reject(new Error('KELO did not answer')), 10000);
  const w = (line) => {
    lines.push(line);
    if (!test(line)) return;
    clearTimeout(timer);
    waiters.splice(waiters.indexOf(w), 1);
    resolve(lines);
  };
  waiters.push(w);
});

send('uci');
send('setoption name UCI_Chess960 value true');
send('isready');
await linesUntil((l) => l === 'readyok');

const GAMES = Number(gamesArg || 60);
let positions = 0, castlings = 0, played = 0;
let failure = null;
for (let game = 0; game < GAMES && !failure; ++game) {
  const start = startFen();
  const pos = Chess.fromSetup(parseFen(start).unwrap()).unwrap();
  const moves = [];
  for (let ply = 0; ply < 40 && !failure; ++ply) {
    const legal = [];
    for (const [from, dests] of pos.allDests())
      for (const to of dests) {
        const promotes = pos.board.get(from).role === 'pawn' && (to < 8 || to >= 56);
        for (const promotion of promotes ? ['queen', 'rook', 'bishop', 'knight'] : [undefined])
          legal.push(makeUci({ from, to, promotion }));
      }
    const isCastling = (uci) => {
      const m = parseUci(uci);
      return pos.board.get(m.from)?.role === 'king' && pos.board.get(m.to)?.role === 'rook' &&
        pos.board.get(m.to)?.color === pos.turn;
    };
    castlings += legal.filter(isCastling).length;
    send(ply % 2 ? `position fen ${makeFen(pos.toSetup())}`
                 : `position fen ${start}${moves.length ? ' moves ' + moves.join(' ') : ''}`);
    send('go perft 1');
    const lines = await linesUntil((l) => l.startsWith('Nodes searched'));
    if (lines.some((l) => l.startsWith('info string'))) {
      failure = `${lines.find((l) => l.startsWith('info string'))} after ${start} moves ${moves.join(' ')}`;
      break;
    }
    const listed = lines.filter((l) => /^[a-h][1-8][a-h][1-8][qrbn]?: /.test(l)).map((l) => l.split(':')[0]);
    const want = [...legal].sort().join(' '), got = [...listed].sort().join(' ');
    ++positions;
    if (want !== got) {
      failure = `${makeFen(pos.toSetup())}\n  chessops: ${want}\n  KELO:     ${got}`;
      break;
    }
    if (!legal.length) break;
    const castles = legal.filter(isCastling);
    const move = castles.length && random() < 0.5 ? pick(castles) : pick(legal);
    played += isCastling(move);
    pos.play(parseUci(move));
    moves.push(move);
  }
}
send('quit');
if (failure) {
  console.log(`difference: ${failure}`);
  process.exit(1);
}
console.log(`ok ${positions} ${castlings} ${played}`);
