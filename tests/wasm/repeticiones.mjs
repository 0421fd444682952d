// The golden recordings played by the rules built for WebAssembly, under
// Node's WASI, as a browser would play them: the file's header read by the
// module, its input unpacked by the host's zlib within the length the
// header states, then a frame per call. Each must end with the state hash,
// the frames and the points the native verifier gives, and verify there
// too; a damaged file is refused with its reason.
//
//   node repeticiones.mjs MODULE.wasm NATIVE_VERIFIER FILE.frep...
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { basename } from 'node:path';
import { WASI } from 'node:wasi';
import { inflateSync } from 'node:zlib';

const [moduloRuta, nativo, ...ficheros] = process.argv.slice(2);
let fallos = 0;
const fallar = (texto) => {
  console.error(`FAIL ${texto}`);
  fallos++;
};

const nativos = execFileSync(nativo, ficheros, { encoding: 'latin1' }).trim().split('\n');

const wasi = new WASI({ version: 'preview1', args: [], env: {}, returnOnExit: true });
const instancia = await WebAssembly.instantiate(await WebAssembly.compile(readFileSync(moduloRuta)),
                                                wasi.getImportObject());
wasi.initialize(instancia);
const m = instancia.exports;

const escribir = (bytes) => {
  const p = m.fotonauta_memoria(bytes.length);
  if (p === 0) {
    throw new Error(`no room for ${bytes.length} bytes`);
  }
  new Uint8Array(m.memory.buffer, p, bytes.length).set(bytes);
};
const error = () =>
  Buffer.from(new Uint8Array(m.memory.buffer, m.fotonauta_error(), m.fotonauta_largo_error())).toString('latin1');

// The first two steps: the header, then the input unpacked here.
const abrir = (datos) => {
  escribir(datos);
  if (!m.fotonauta_abrir(datos.length)) {
    return error();
  }
  const inicio = m.fotonauta_inicio_entrada();
  const largo = m.fotonauta_largo_eventos();
  let eventos;
  try {
    eventos = inflateSync(datos.subarray(inicio, inicio + m.fotonauta_largo_entrada()),
                          { maxOutputLength: Math.max(1, largo) });
  } catch (e) {
    return `the input does not unpack within ${largo} bytes: ${e.message}`;
  }
  escribir(eventos);
  return m.fotonauta_eventos(eventos.length) ? null : error();
};

const hex = (n) => BigInt.asUintN(64, n).toString(16).padStart(16, '0');

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

if (fallos > 0) {
  process.exit(1);
}
