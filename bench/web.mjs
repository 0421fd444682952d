// The game's WebAssembly module as a page uses it, under Node (V8, as in
// Chromium): a long recording readied for watching, the seek to its last
// frame and back, frames played on (simulated, drawn and made RGBA), and
// what a first visit fetches of it, gzipped. One line a figure:
// "NAME VALUE".
//
//   node bench/web.mjs MODULE.wasm DATA_DIR FILE.frep
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { gzipSync } from 'node:zlib';

import { cargarModulo } from '../tests/wasm/modulo.mjs';

const [moduloRuta, datos, ruta] = process.argv.slice(2);
const { m, abrir, cargarArte } = await cargarModulo(moduloRuta);
const fallo = cargarArte(datos, ['grf.dat', 'fuentes.dat']) ?? abrir(readFileSync(ruta));
if (fallo !== null || !m.fotonauta_ver()) {
  throw new Error(fallo ?? 'the recording cannot be watched');
}
const medir = (f) => {
  const t = performance.now();
  f();
  return performance.now() - t;
};
const total = m.fotonauta_ver_total();
const mejor = (f) => Math.min(...Array.from({ length: 5 }, () => medir(f)));
console.log(`web_preparar_ms ${mejor(() => m.fotonauta_ver()).toFixed(2)}`);
console.log(`web_minutos ${(m.fotonauta_grabacion_fotogramas() / m.fotonauta_fotogramas_por_segundo() / 60).toFixed(2)}`);
console.log(`web_buscar_ultimo_ms ${mejor(() => { m.fotonauta_buscar(0); m.fotonauta_buscar(total - 1); }).toFixed(2)}`);
m.fotonauta_buscar(0);
const tiempos = Array.from({ length: Math.min(total - 1, 6000) }, () => medir(() => m.fotonauta_siguiente()))
  .sort((a, b) => a - b);
console.log(`web_fotograma_p99_ms ${tiempos[Math.floor(tiempos.length * 0.99)].toFixed(3)}`);
const gz = (fichero) => gzipSync(readFileSync(fichero), { level: 9 }).length;
console.log(`web_primera_visita_kb ${((gz(moduloRuta) + gz(join(datos, 'grf.dat')) + gz(join(datos, 'fuentes.dat'))) / 1024).toFixed(0)}`);
