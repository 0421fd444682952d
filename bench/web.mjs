// bench/web's measurements in headless Chromium: a first visit of a Watch
// page (from the world table, its cache emptied), then the page's own module (imported as the page imports it) on
// the recordings given. Prints the figures and one `objetivo` line per goal.
//
//   node web.mjs WATCH_URL TEMP_FOLDER NATIVE_MS NATIVE_LINES LONG.frep FILE.frep...
// NATIVE_LINES: hash_repeticion's lines for FILE.frep..., which took
// NATIVE_MS to verify them natively.
import { readFileSync } from 'node:fs';
import { abrir_navegador } from '../tests/servidor/cdp.mjs';

const [url, tmp, nativo_ms, ruta_nativos, larga, ...ficheros] = process.argv.slice(2);
const nativos = readFileSync(ruta_nativos, 'latin1').trim().split('\n');

const objetivo = (nombre, cifra, meta, minimo = false) => {
  const bien = Number.isFinite(cifra) && (minimo ? cifra >= meta : cifra <= meta);
  console.log(`objetivo ${nombre} ${cifra.toFixed(2)} ${meta} ${bien ? 'ok' : 'falla'}`);
};

const n = await abrir_navegador(tmp);
try {
  // ---- A first visit: the visitor comes from the world table, where the
  // Watch link is, with nothing of the Watch page in the browser's cache.
  await n.ir(new URL('/', url).href);
  await n.orden('Network.clearBrowserCache');
  await n.ir(url);
  await n.esperar('["listo", "error"].includes(document.body.dataset.estado)', 30000, 'the Watch page');
  const visita = await n.evaluar(`(() => {
    const entradas = [...performance.getEntriesByType('navigation'), ...performance.getEntriesByType('resource')];
    const marca = performance.getEntriesByName('fotonauta-primer-fotograma')[0];
    return { estado: document.body.dataset.estado, bytes: entradas.reduce((s, e) => s + e.transferSize, 0),
             primer: marca ? marca.startTime : NaN,
             lista: entradas.map((e) => e.name.replace(/^.*\\//, '') + ' ' + e.transferSize) };
  })()`);
  if (visita.estado !== 'listo') {
    throw new Error(`the Watch page says: ${await n.evaluar('document.getElementById("aviso").textContent')}`);
  }
  console.log(`first visit: ${visita.bytes} bytes (${visita.lista.join(', ')}); first frame at ${visita.primer.toFixed(0)} ms`);

  // ---- The page's module, as the page loads it, for the rest.
  await n.evaluar(`(async () => {
    const comun = performance.getEntriesByType('resource').find((e) => /\\/web\\/comun\\.[^/]*\\.js$/.test(e.name));
    const c = await import(comun.name);
    window.banco = { c, m: await c.cargar_modulo() };
  })()`);
  const base64 = (ruta) => readFileSync(ruta).toString('base64');
  const abrir = (ruta) => `await banco.m.abrir(Uint8Array.from(atob('${base64(ruta)}'), (c) => c.charCodeAt(0)));`;

  // Every recording verified in the page: the same end as natively.
  let distintas = 0;
  let pagina_ms = 0;
  for (const [i, ruta] of ficheros.entries()) {
    const r = await n.evaluar(`(async () => {
      ${abrir(ruta)}
      const e = banco.m.e;
      const t = performance.now();
      const valida = e.fotonauta_verificar();
      const ms = performance.now() - t;
      return { ms, linea: [valida, BigInt.asUintN(64, e.fotonauta_hash_estado()).toString(16).padStart(16, '0'),
                           e.fotonauta_fotogramas(), e.fotonauta_puntos()].join(' ') };
    })()`);
    pagina_ms += r.ms;
    if (r.linea !== nativos[i]) {
      console.log(`${ruta}: ${r.linea} in the page, ${nativos[i]} natively`);
      distintas++;
    }
  }
  console.log(`${ficheros.length} recordings verified in the page in ${pagina_ms.toFixed(0)} ms, natively in ` +
              `${Number(nativo_ms).toFixed(0)} ms; ${distintas} end otherwise`);

  // Seeking in the long game, and its frames drawn and shown one by one.
  const larga_r = await n.evaluar(`(async () => {
    ${abrir(larga)}
    const e = banco.m.e;
    if (!e.fotonauta_ver()) {
      throw new Error(banco.m.error());
    }
    const total = e.fotonauta_ver_total();
    const lienzo = document.createElement('canvas');
    lienzo.width = 1024;
    lienzo.height = 768;
    const contexto = lienzo.getContext('2d');
    const imagen = contexto.createImageData(1024, 768);
    let busqueda = 0;
    for (let i = 0; i < 5; i++) {
      e.fotonauta_buscar(0);
      const t = performance.now();
      e.fotonauta_buscar(total - 1);
      banco.m.pintar(contexto, imagen);
      busqueda = Math.max(busqueda, performance.now() - t);
    }
    e.fotonauta_buscar(0);
    const tiempos = [];
    for (let i = 0; i < 4000 && e.fotonauta_ver_actual() < total - 1; i++) {
      const t = performance.now();
      e.fotonauta_siguiente();
      banco.m.pintar(contexto, imagen);
      tiempos.push(performance.now() - t);
    }
    tiempos.sort((a, b) => a - b);
    return { total, busqueda, p99: tiempos[Math.floor(tiempos.length * 0.99)], mediana: tiempos[tiempos.length >> 1] };
  })()`);
  console.log(`long game: ${larga_r.total} frames; seek to the last ${larga_r.busqueda.toFixed(1)} ms (worst of 5); ` +
              `a frame drawn and shown: median ${larga_r.mediana.toFixed(2)} ms, p99 ${larga_r.p99.toFixed(2)} ms`);

  objetivo('web_verificacion_distintas', distintas, 0);
  objetivo('web_velocidad_frente_a_nativo', Number(nativo_ms) / pagina_ms, 0.3, true);
  objetivo('web_busqueda_10_min_ms', larga_r.busqueda, 150);
  objetivo('web_fotograma_p99_ms', larga_r.p99, 8);
  objetivo('web_primera_visita_mb', visita.bytes / 1e6, 1.5);
  objetivo('web_primer_fotograma_ms', visita.primer, 1000);
} finally {
  await n.cerrar();
}
