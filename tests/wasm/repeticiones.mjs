// The game built for WebAssembly, under Node's WASI, driven as a page
// drives it.
//
// - The golden recordings, read by the module (the header, then the input
//   unpacked by the host's zlib within the length the header states) and
//   played a frame per call, each end with the state hash, frames and
//   points the native verifier gives, and verify there too; a damaged file
//   is refused for its checksum.
// - Watched (a data file cut short refused first): the frames the native game's drawing picks out of each (a
//   board sliding in, the scramble, the beam in each state, gremlins, a
//   completed level's count, a lost life, a late frame), reached by seeking
//   back and forth, are the native pixels exactly (compared in 5.6.5); a
//   late frame reached by playing on from an earlier one is the same; a
//   lost life's frame sounds the sample it should.
// - Played: a community level won through the play interface with the
//   pointer moves of the solver's plan gives a recording the native
//   verifier accepts, as the same game recorded natively, which the module
//   then watches (a recording that carries its level) to the native pixels.
//
//   node repeticiones.mjs MODULE.wasm HASH_TOOL DRAWING_TOOL PLAN_TOOL DATA_DIR LEVEL.txt FILE.frep...
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join } from 'node:path';
import { deflateSync } from 'node:zlib';

import { cargarModulo } from './modulo.mjs';

const [moduloRuta, nativo, dibujo, plan, datos, nivelRuta, ...ficheros] = process.argv.slice(2);
let fallos = 0;
const fallar = (mensaje) => {
  console.error(`FAIL ${mensaje}`);
  fallos++;
};
const tmp = mkdtempSync(join(tmpdir(), 'fotonauta-wasm-'));
process.on('exit', () => rmSync(tmp, { recursive: true, force: true }));

const { m, escribir, bytes, texto, error, abrir, cargarArte } = await cargarModulo(moduloRuta);

const hex = (n) => BigInt.asUintN(64, n).toString(16).padStart(16, '0');
const verificarNativo = (rutas) => execFileSync(nativo, rutas, { encoding: 'latin1' }).trim().split('\n');

// ---- the rules: each golden recording played to its end

const nativos = verificarNativo(ficheros);
ficheros.forEach((ruta, i) => {
  const nombre = basename(ruta);
  const [valida, hashNativo, fotogramasNativos, puntosNativos] = nativos[i].split(' ');
  if (valida !== '1') {
    fallar(`${nombre}: the native verifier refuses it: ${nativos[i]}`);
    return;
  }
  const datos = readFileSync(ruta);
  const t0 = performance.now();
  const motivo = abrir(datos);
  if (motivo !== null) {
    fallar(`${nombre}: ${motivo}`);
    return;
  }
  if (!m.fotonauta_empezar()) {
    fallar(`${nombre}: ${error()}`);
    return;
  }
  while (m.fotonauta_fotograma()) {
  }
  const fin = [hex(m.fotonauta_hash_estado()), String(m.fotonauta_fotogramas()), String(m.fotonauta_puntos())];
  const ms = (performance.now() - t0).toFixed(0);
  const esperado = [hashNativo, fotogramasNativos, puntosNativos];
  if (fin.join(' ') !== esperado.join(' ')) {
    fallar(`${nombre}: ends as ${fin.join(' ')} here, ${esperado.join(' ')} natively`);
  } else {
    console.log(`${nombre}: hash ${fin[0]}, ${fin[1]} frames, ${fin[2]} points, as natively (${ms} ms)`);
  }
  if (!m.fotonauta_verificar()) {
    fallar(`${nombre}: does not verify: ${error()}`);
  } else if (hex(m.fotonauta_hash_estado()) !== hashNativo) {
    fallar(`${nombre}: verified to another hash`);
  }

  // The same file with one byte of its packed input changed.
  const danado = Buffer.from(datos);
  danado[danado.length - 1] ^= 0x40;
  const rechazo = abrir(danado);
  if (rechazo === null || !rechazo.includes('checksum')) {
    fallar(`${nombre}: a damaged copy is not refused for its checksum (${rechazo})`);
  }
});

// ---- the drawing

const ANCHO = 1024;
const ALTO = 768;
const arte = cargarArte(datos);
if (arte !== null) {
  fallar(arte);
}
// Pictures cut short are refused, and those loaded before stay.
const cortado = readFileSync(join(datos, 'grf.dat')).subarray(0, 100000);
escribir(cortado);
if (m.fotonauta_cargar(0, cortado.length) || !m.fotonauta_graficos_listos()) {
  fallar(`a grf.dat cut short is taken, or the one before dropped (${error()})`);
}

// The picture last drawn, as 5.6.5 pixels (the page's RGBA taken back to
// the game's format, which the widening keeps exactly).
const picture565 = () => {
  const rgba = new Uint8Array(m.memory.buffer, m.fotonauta_imagen(), ANCHO * ALTO * 4);
  const p = Buffer.alloc(ANCHO * ALTO * 2);
  for (let i = 0; i < ANCHO * ALTO; i++) {
    if (rgba[4 * i + 3] !== 255) {
      return null;
    }
    p.writeUInt16LE(((rgba[4 * i] >> 3) << 11) | ((rgba[4 * i + 1] >> 2) << 5) | (rgba[4 * i + 2] >> 3), 2 * i);
  }
  return p;
};

// The frames the native drawing picks out of a recording, and its pixels.
const dibujoNativo = (ruta) => {
  const dir = mkdtempSync(join(tmp, 'n-'));
  const lineas = execFileSync(dibujo, [datos, ruta, dir], { encoding: 'latin1' }).trim().split('\n');
  return lineas.map((l) => {
    const [f, que] = l.split(' ');
    return { f: Number(f), que, pixeles: readFileSync(join(dir, `${f}.565`)) };
  });
};

const diferencia = (a, b) => {
  if (a === null) {
    return 'a pixel not opaque';
  }
  let n = 0, primera = -1;
  for (let i = 0; i < a.length; i += 2) {
    if (a.readUInt16LE(i) !== b.readUInt16LE(i)) {
      n++;
      if (primera < 0) {
        primera = i / 2;
      }
    }
  }
  return n === 0 ? null : `${n} pixels differ, the first at (${primera % ANCHO}, ${Math.floor(primera / ANCHO)})`;
};

const sonidos = () => {
  const n = m.fotonauta_num_sonidos();
  const v = new Int32Array(m.memory.buffer, m.fotonauta_sonidos(), n * 6);
  return Array.from({ length: n }, (_, i) => Array.from(v.subarray(6 * i, 6 * i + 6)));
};

// Watches `ruta` (read by abrir already) and checks its picked frames,
// sought last first; returns how many frames it shows.
const verDibujo = (ruta, nombre) => {
  const t0 = performance.now();
  if (!m.fotonauta_ver()) {
    fallar(`${nombre}: cannot be watched: ${error()}`);
    return 0;
  }
  const total = m.fotonauta_ver_total();
  const preparado = performance.now() - t0;
  const elegidos = dibujoNativo(ruta);
  let peor = 0;
  for (const { f, que, pixeles } of [...elegidos].reverse()) {
    const t = performance.now();
    m.fotonauta_buscar(f);
    peor = Math.max(peor, performance.now() - t);
    const d = diferencia(picture565(), pixeles);
    if (d !== null) {
      fallar(`${nombre}: frame ${f} (${que}) sought: ${d}`);
    }
    if (que.startsWith('vida_perdida_')) {
      // Out of energy sounds sample 0, overload sample 1.
      const muestra = Number(que.slice(-1));
      if (!sonidos().some(([accion, , s]) => accion === 1 && s === muestra)) {
        fallar(`${nombre}: frame ${f} (${que}) does not sound sample ${muestra}: ${JSON.stringify(sonidos())}`);
      }
    }
  }
  console.log(`${nombre}: ${total} frames, ${elegidos.length} drawn as natively ` +
              `(${elegidos.map((e) => e.que).join(' ')}); readied in ${preparado.toFixed(0)} ms, ` +
              `slowest seek ${peor.toFixed(0)} ms`);
  return elegidos;
};

for (const ruta of ficheros) {
  const nombre = basename(ruta);
  if (abrir(readFileSync(ruta)) !== null) {
    continue;
  }
  const elegidos = verDibujo(ruta, nombre);
  // A late frame reached by playing on from an earlier one.
  const tarde = elegidos.find((e) => e.que === 'tarde');
  if (tarde !== undefined) {
    m.fotonauta_buscar(tarde.f - 100);
    for (let f = tarde.f - 100; f < tarde.f; f++) {
      m.fotonauta_siguiente();
    }
    const d = m.fotonauta_ver_actual() === tarde.f ? diferencia(picture565(), tarde.pixeles) : 'another frame';
    if (d !== null) {
      fallar(`${nombre}: frame ${tarde.f} played on to: ${d}`);
    }
  }
}

// ---- a community level played through the module

const ganada = join(tmp, 'plan.frep');
const puntosPlan = execFileSync(plan, ['suelto', nivelRuta, ganada, '--semilla', '7'], { encoding: 'latin1' }).trim();
const [cabeza, ...cambios] = execFileSync(nativo, ['--entradas', ganada], { encoding: 'latin1' }).trim().split('\n')
  .map((l) => l.split(' '));
escribir(readFileSync(nivelRuta));
if (!m.fotonauta_nivel_texto(readFileSync(nivelRuta).length) || !m.fotonauta_jugar(BigInt(cabeza[1]))) {
  fallar(`the level is not played: ${error()}`);
} else {
  // Each frame the pointer as the change in force for the next frame of
  // play has it; a button going down is a press.
  let antes = 0;
  let cambio = null;
  let marcos = 0;
  for (;;) {
    const k = m.fotonauta_fotogramas();
    let c = cambios[0];
    for (const d of cambios) {
      if (Number(d[0]) <= k) {
        c = d;
      }
    }
    const [, x, y, botones, rueda, teclas, abandono] = c.map(Number);
    const b = botones | ((teclas & 1) ? 4 : 0);
    // The wheel turns once, as the change begins.
    const sigue = m.fotonauta_jugar_fotograma(x, y, b, botones & ~antes, c === cambio ? 0 : rueda, abandono);
    antes = botones;
    cambio = c;
    if (!sigue || ++marcos > 100000) {
      break;
    }
  }
  const eventos = bytes(m.fotonauta_eventos_grabados(), m.fotonauta_largo_salida());
  const empaquetados = deflateSync(eventos);
  const nombre = Buffer.from('Ana Pe\xF1a  ', 'latin1');
  escribir(nombre);
  m.fotonauta_nombre(nombre.length);
  escribir(empaquetados);
  const p = m.fotonauta_archivo(empaquetados.length, 1796000000n);
  const jugada = join(tmp, 'jugada.frep');
  writeFileSync(jugada, bytes(p, m.fotonauta_largo_salida()));
  const [aqui, alli] = verificarNativo([jugada, ganada]);
  if (p === 0 || !aqui.startsWith('1 ') || aqui !== alli || m.fotonauta_fases() !== 1) {
    fallar(`the level played here verifies as "${aqui}", the plan's own recording as "${alli}" (${error()})`);
  } else {
    console.log(`the level played here: ${marcos} frames shown, verified natively as the plan's game ` +
                `(${aqui}, the plan ${puntosPlan} points)`);
  }
  if (abrir(readFileSync(jugada)) !== null || !m.fotonauta_grabacion_suelto() ||
      texto(m.fotonauta_grabacion_nombre(), m.fotonauta_grabacion_largo_nombre()) !== 'Ana Pe\xF1a') {
    fallar(`the recording made here is not read back as made: ${error()}`);
  } else {
    verDibujo(jugada, 'the level played here');
  }
}

if (fallos > 0) {
  process.exit(1);
}
