// The game's WebAssembly module under Node's WASI, with the host's side of
// its interface (wasm.h) as a page has it: bytes in through its buffer,
// errors out, a recording read with the host's zlib, the art loaded.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { WASI } from 'node:wasi';
import { inflateSync } from 'node:zlib';

export async function cargarModulo(ruta) {
  const wasi = new WASI({ version: 'preview1', args: [], env: {}, returnOnExit: true });
  const instancia = await WebAssembly.instantiate(await WebAssembly.compile(readFileSync(ruta)),
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
  const bytes = (p, n) => Buffer.from(new Uint8Array(m.memory.buffer, p, n));
  const texto = (p, n) => bytes(p, n).toString('latin1');
  const error = () => texto(m.fotonauta_error(), m.fotonauta_largo_error());

  // A recording's file: the header, then its input unpacked here within
  // the length the header states. Null, or why not.
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

  // The build's data files; null, or what was refused.
  const cargarArte = (dir, ficheros = ['grf.dat', 'fuentes.dat', 'snd.dat']) => {
    for (const fichero of ficheros) {
      const datos = readFileSync(join(dir, fichero));
      escribir(datos);
      if (!m.fotonauta_cargar(['grf.dat', 'fuentes.dat', 'snd.dat'].indexOf(fichero), datos.length)) {
        return `${fichero}: ${error()}`;
      }
    }
    return null;
  };

  return { m, escribir, bytes, texto, error, abrir, cargarArte };
}
