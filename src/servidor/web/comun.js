// What the Watch and Play pages share: the game's module loaded with its
// art, bytes in and out of its memory, recordings read through its bounded
// reader, the picture on the canvas, the sounds through Web Audio, and a
// message in the page for anything that goes wrong.

export const ANCHO = 1024;
export const ALTO = 768;

const visor = document.getElementById('visor');
export const datos = visor.dataset;

// Shows why there is nothing to see, in place of the canvas: a page never
// stays blank with its reason in the console only.
export function aviso(texto) {
  const p = document.getElementById('aviso');
  p.textContent = texto;
  p.hidden = false;
  // Nothing to play: no canvas and no controls, only the message.
  for (const e of visor.querySelectorAll('#marco, .controles, .barra, .atajos, form')) {
    e.hidden = true;
  }
  // Nor "loading..." beside the title once it never will.
  document.getElementById('estado')?.replaceChildren('not playable here');
  document.body.dataset.estado = 'error';
}

// An error of ours, with the text the page shows.
export class Fallo extends Error {}

// Whatever fails in a handler says so in the page too.
const decir = (e) => aviso(e instanceof Fallo ? e.message : `Something went wrong: ${e?.message ?? e}`);
window.addEventListener('error', (ev) => decir(ev.error ?? ev.message));
window.addEventListener('unhandledrejection', (ev) => decir(ev.reason));

// Every failure that reaches the page's top shows as its message.
export function atender(promesa) {
  promesa.catch((e) => {
    console.error(e);
    decir(e);
  });
}

// Fetches one of this server's files whole, with the server's own
// one-line reason when it is refused.
export async function traer(url, que) {
  let r;
  try {
    r = await fetch(url);
  } catch (e) {
    throw new Fallo(`The ${que} could not be fetched: the server did not answer.`);
  }
  if (!r.ok) {
    const motivo = (await r.text()).split('\n')[0].slice(0, 300);
    throw new Fallo(`The ${que} could not be fetched (${r.status}): ${motivo}`);
  }
  return new Uint8Array(await r.arrayBuffer());
}

// The little of WASI the module asks for: a clock, randomness, and
// output to the console; everything else answers "not supported".
function wasi(memoria) {
  const NOSYS = 52;
  const vista = () => new DataView(memoria().buffer);
  const propias = {
    proc_exit: (c) => {
      throw new Fallo(`The game's module stopped (${c}).`);
    },
    fd_write: (fd, iovs, n, escritos) => {
      const v = vista();
      let total = 0;
      let texto = '';
      for (let i = 0; i < n; i++) {
        const p = v.getUint32(iovs + i * 8, true);
        const l = v.getUint32(iovs + i * 8 + 4, true);
        texto += latin1(new Uint8Array(memoria().buffer, p, l));
        total += l;
      }
      console.log(texto);
      v.setUint32(escritos, total, true);
      return 0;
    },
    random_get: (p, n) => {
      crypto.getRandomValues(new Uint8Array(memoria().buffer, p, n));
      return 0;
    },
    clock_time_get: (_reloj, _precision, p) => {
      vista().setBigUint64(p, BigInt(Math.round(performance.now() * 1e6)), true);
      return 0;
    },
    environ_sizes_get: (n, l) => {
      vista().setUint32(n, 0, true);
      vista().setUint32(l, 0, true);
      return 0;
    },
    args_sizes_get: (n, l) => {
      vista().setUint32(n, 0, true);
      vista().setUint32(l, 0, true);
      return 0;
    },
    environ_get: () => 0,
    args_get: () => 0,
  };
  return new Proxy(propias, { get: (o, nombre) => o[nombre] ?? (() => NOSYS) });
}

export const latin1 = (bytes) => String.fromCharCode(...bytes);

// Calls `paso(ahora)` at every animation frame; a failure stops it and
// says why in the page.
export function cada_fotograma(paso) {
  const marco = (ahora) => {
    try {
      paso(ahora);
    } catch (e) {
      console.error(e);
      decir(e);
      return;
    }
    requestAnimationFrame(marco);
  };
  requestAnimationFrame(marco);
}

// The module, instantiated, with grf.dat and fuentes.dat loaded: what
// drawing needs. Fetched at once, so the art comes while the module
// compiles.
export async function cargar_modulo() {
  if (typeof WebAssembly !== 'object' || typeof WebAssembly.instantiate !== 'function') {
    throw new Fallo('This browser cannot run WebAssembly, which the game needs here: try a current browser.');
  }
  if (datos.sinModulo) {
    throw new Fallo('This server was built without the game for the browser.');
  }
  const graficos = traer(datos.graficos, 'game\'s pictures');
  const fuentes = traer(datos.fuentes, 'game\'s fonts');
  let instancia;
  const importaciones = { wasi_snapshot_preview1: wasi(() => instancia.exports.memory) };
  try {
    const r = await fetch(datos.modulo);
    if (!r.ok) {
      throw new Fallo(`The game's module could not be fetched (${r.status}).`);
    }
    ({ instance: instancia } = await WebAssembly.instantiateStreaming(r, importaciones));
  } catch (e) {
    throw e instanceof Fallo ? e : new Fallo(`The game's module could not be started: ${e.message}`);
  }
  instancia.exports._initialize?.();
  // The game's own texts in the picture: Spanish for a Spanish browser,
  // else English, as the page around them.
  instancia.exports.fotonauta_idioma?.(navigator.language.startsWith('es') ? 0 : 1);
  const m = new Modulo(instancia.exports);
  m.cargar(0, await graficos, 'pictures');
  m.cargar(1, await fuentes, 'fonts');
  return m;
}

export class Modulo {
  constructor(e) {
    this.e = e;
  }
  // (A call may grow the memory: its buffer is taken after the calls.)
  error() {
    return latin1(this.copia(this.e.fotonauta_error(), this.e.fotonauta_largo_error()));
  }
  // Fails with the module's reason when a call answers 0.
  exigir(r, que) {
    if (!r) {
      throw new Fallo(`${que}: ${this.error()}`);
    }
    return r;
  }
  escribir(bytes) {
    const p = this.e.fotonauta_memoria(bytes.length);
    if (!p) {
      throw new Fallo(`The game has no room for ${bytes.length} bytes.`);
    }
    new Uint8Array(this.e.memory.buffer, p, bytes.length).set(bytes);
    return bytes.length;
  }
  // A copy of `n` bytes the module handed out at `p` (they last only to
  // its next call).
  copia(p, n) {
    return new Uint8Array(this.e.memory.buffer, p, n).slice();
  }
  cargar(cual, bytes, que) {
    this.exigir(this.e.fotonauta_cargar(cual, this.escribir(bytes)), `The game's ${que} cannot be read`);
  }
  // A recording's bytes read in three steps, its input unpacked here no
  // further than the length its header states.
  async abrir(bytes) {
    const e = this.e;
    this.exigir(e.fotonauta_abrir(this.escribir(bytes)), 'This recording cannot be read');
    const inicio = e.fotonauta_inicio_entrada();
    const eventos = await desempaquetar(bytes.subarray(inicio, inicio + e.fotonauta_largo_entrada()),
                                        e.fotonauta_largo_eventos());
    this.exigir(e.fotonauta_eventos(this.escribir(eventos)), 'This recording cannot be read');
  }
  // The picture last drawn onto the canvas's context.
  pintar(contexto, imagen) {
    const p = this.e.fotonauta_imagen();
    imagen.data.set(new Uint8Array(this.e.memory.buffer, p, ANCHO * ALTO * 4));
    contexto.putImageData(imagen, 0, 0);
  }
  // The sounds the frame last drawn told, as records.
  sonidos() {
    const n = this.e.fotonauta_num_sonidos();
    if (n === 0) {
      return [];
    }
    const p = this.e.fotonauta_sonidos();
    const v = new Int32Array(this.e.memory.buffer, p, n * 6);
    const lista = [];
    for (let i = 0; i < n; i++) {
      lista.push(Array.from(v.subarray(i * 6, i * 6 + 6)));
    }
    return lista;
  }
}

// Unpacks a zlib stream, refused past `maximo` bytes (the recording's own
// statement of its length) or short of it.
export async function desempaquetar(empaquetado, maximo) {
  const partes = [];
  let total = 0;
  try {
    const lector = new Blob([empaquetado]).stream().pipeThrough(new DecompressionStream('deflate')).getReader();
    for (;;) {
      const { done, value } = await lector.read();
      if (done) {
        break;
      }
      total += value.length;
      if (total > maximo) {
        lector.cancel();
        throw new Fallo(`This recording cannot be read: its input unpacks past the ${maximo} bytes it states.`);
      }
      partes.push(value);
    }
  } catch (e) {
    throw e instanceof Fallo ? e : new Fallo(`This recording cannot be read: its input does not unpack (${e.message}).`);
  }
  if (total !== maximo) {
    throw new Fallo(`This recording cannot be read: its input unpacks to ${total} bytes, not the ${maximo} it states.`);
  }
  const todo = new Uint8Array(total);
  let p = 0;
  for (const parte of partes) {
    todo.set(parte, p);
    p += parte.length;
  }
  return todo;
}

export async function empaquetar(bytes) {
  return new Uint8Array(await new Response(new Blob([bytes]).stream().pipeThrough(new CompressionStream('deflate')))
    .arrayBuffer());
}

// The canvas at a whole multiple of the game's size when the window has
// room for one, else scaled down to the window's width and height.
export function ajustar_lienzo(lienzo) {
  const ajustar = () => {
    const ancho = lienzo.parentElement.clientWidth;
    const alto = window.innerHeight;
    const k = Math.floor(Math.min(ancho / ANCHO, alto / ALTO));
    lienzo.style.width = `${k >= 1 ? ANCHO * k : Math.floor(Math.min(ancho, alto * ANCHO / ALTO))}px`;
    lienzo.style.maxWidth = 'none';
  };
  window.addEventListener('resize', ajustar);
  ajustar();
}

// The game's sound effects through Web Audio. Nothing is fetched or
// started before the player's first gesture (browsers hold audio until
// one): then snd.dat is fetched and its samples made buffers once.
export class Sonido {
  constructor(m) {
    this.m = m;
    this.activo = false;
    this.contexto = null;
    this.buffers = null;
    this.voces = new Map();
    this.cargando = null;
  }
  async encender() {
    this.activo = true;
    if (!this.contexto) {
      this.contexto = new AudioContext();
    }
    await this.contexto.resume();
    if (!this.cargando) {
      this.cargando = (async () => {
        this.m.cargar(2, await traer(datos.sonidos, 'game\'s sounds'), 'sounds');
        const e = this.m.e;
        this.buffers = [];
        for (let i = 0; i < 12; i++) {
          const p = e.fotonauta_muestra(i);
          const largo = e.fotonauta_muestra_largo(i);
          const canales = e.fotonauta_muestra_canales(i);
          if (!p || !largo || canales < 1) {
            this.buffers.push(null);
            continue;
          }
          const pcm = new Int16Array(e.memory.buffer, p, largo * canales);
          const b = this.contexto.createBuffer(canales, largo, e.fotonauta_muestra_frecuencia(i));
          for (let c = 0; c < canales; c++) {
            const canal = b.getChannelData(c);
            for (let j = 0; j < largo; j++) {
              canal[j] = pcm[j * canales + c] / 32768;
            }
          }
          this.buffers.push(b);
        }
      })();
    }
    await this.cargando;
  }
  apagar() {
    this.activo = false;
    this.callar();
  }
  callar() {
    for (const v of this.voces.values()) {
      v.stop();
    }
    this.voces.clear();
  }
  // What the frame last drawn started and stopped.
  tocar(registros) {
    if (!this.activo || !this.buffers) {
      return;
    }
    for (const [accion, voz, muestra, volumen, pan, frecuencia] of registros) {
      if (accion === 4) {
        this.callar();
      } else if (accion === 3) {
        this.voces.get(voz)?.stop();
        this.voces.delete(voz);
      } else if ((accion === 1 || accion === 2) && this.buffers[muestra]) {
        this.voces.get(voz)?.stop();
        const fuente = this.contexto.createBufferSource();
        fuente.buffer = this.buffers[muestra];
        fuente.loop = accion === 2;
        fuente.playbackRate.value = frecuencia / 1000;
        const g = this.contexto.createGain();
        g.gain.value = volumen / 255;
        const p = this.contexto.createStereoPanner();
        p.pan.value = (pan - 128) / 128;
        fuente.connect(g).connect(p).connect(this.contexto.destination);
        fuente.onended = () => {
          if (this.voces.get(voz) === fuente) {
            this.voces.delete(voz);
          }
        };
        this.voces.set(voz, fuente);
        fuente.start();
      }
    }
  }
}

// The sound button and M. Sound comes on at the player's first click or
// key (the gesture browsers wait for), unless the button said otherwise.
export function boton_sonido(sonido) {
  const boton = document.getElementById('sonido');
  let elegido = false;
  const poner = () => {
    boton.textContent = sonido.activo ? 'Sound: on' : 'Sound: off';
    boton.setAttribute('aria-pressed', String(sonido.activo));
  };
  const cambiar = () => {
    elegido = true;
    if (sonido.activo) {
      sonido.apagar();
      poner();
    } else {
      encender();
    }
  };
  // Without sound the game still plays: the button says so.
  const encender = () => sonido.encender().then(poner, (e) => {
    console.warn(e);
    sonido.apagar();
    boton.textContent = 'No sound';
    boton.title = e.message;
    boton.disabled = true;
  });
  const primer_gesto = (ev) => {
    if (ev.target === boton || ev.key === 'm' || ev.key === 'M' || ev.target.tagName === 'INPUT') {
      return;
    }
    document.removeEventListener('pointerup', primer_gesto, true);
    document.removeEventListener('keydown', primer_gesto, true);
    if (!elegido) {
      elegido = true;
      encender();
    }
  };
  // A finger's press is no gesture to a browser until it is lifted.
  document.addEventListener('pointerup', primer_gesto, true);
  document.addEventListener('keydown', primer_gesto, true);
  boton.disabled = false;
  boton.addEventListener('click', cambiar);
  poner();
  return cambiar;
}

// What both pages play on: the canvas fitted to the window, the picture
// the module's frames are put into, and the sound with its button.
export function preparar_visor(m) {
  const lienzo = document.getElementById('lienzo');
  const contexto = lienzo.getContext('2d');
  const imagen = contexto.createImageData(ANCHO, ALTO);
  ajustar_lienzo(lienzo);
  const sonido = new Sonido(m);
  return { lienzo, contexto, imagen, sonido, cambiar_sonido: boton_sonido(sonido) };
}
