// The Play page: a community level played alone by the game's own module,
// as `fotonauta --nivel ID` plays it, with the mouse or by touch; the run
// recorded, signed as the game signs it, and sent to the level's board.
import { ALTO, ANCHO, Fallo, atender, cada_fotograma, cargar_modulo, datos, empaquetar, preparar_visor,
         traer } from './comun.js';

const $ = (id) => document.getElementById(id);
const IZQUIERDO = 1, DERECHO = 2, ALT = 4;
const MAX_RETRASO_S = 0.25;

// ---- The player's key: one Ed25519 pair per browser, kept in IndexedDB
// (the private half never leaves it), as the game keeps one per player.

function almacen_claves() {
  return new Promise((bien, mal) => {
    const p = indexedDB.open('fotonauta', 1);
    p.onupgradeneeded = () => p.result.createObjectStore('claves');
    p.onsuccess = () => bien(p.result);
    p.onerror = () => mal(p.error);
  });
}

function en_almacen(db, modo, hacer) {
  return new Promise((bien, mal) => {
    const t = db.transaction('claves', modo);
    const p = hacer(t.objectStore('claves'));
    t.oncomplete = () => bien(p.result);
    t.onerror = () => mal(t.error);
  });
}

async function claves() {
  if (!crypto.subtle) {
    throw new Fallo('This browser cannot sign the run (no Web Crypto on this page).');
  }
  const db = await almacen_claves();
  let par = await en_almacen(db, 'readonly', (s) => s.get('ed25519'));
  if (!par) {
    try {
      par = await crypto.subtle.generateKey({ name: 'Ed25519' }, false, ['sign', 'verify']);
    } catch (e) {
      throw new Fallo(`This browser cannot make the key that signs a run (Ed25519): ${e.message}`);
    }
    await en_almacen(db, 'readwrite', (s) => s.put(par, 'ed25519'));
  }
  return par;
}

const hex = (bytes) => Array.from(new Uint8Array(bytes), (b) => b.toString(16).padStart(2, '0')).join('');

// The name as the game takes it: 1 to 20 characters of ISO 8859-1, no
// control character. Its bytes, or null.
function bytes_nombre(nombre) {
  if (nombre.length < 1 || nombre.length > 20) {
    return null;
  }
  const b = new Uint8Array(nombre.length);
  for (let i = 0; i < nombre.length; i++) {
    const c = nombre.charCodeAt(i);
    if (c < 0x20 || (c >= 0x7f && c < 0xa0) || c > 0xff) {
      return null;
    }
    b[i] = c;
  }
  return b;
}

// Signs and sends the file: "fotonauta firma 1\n" PATH "\n" NAME "\n" BODY,
// the name in UTF-8 without its trailing blanks, as the server checks it.
async function enviar(nombre, bytes, archivo) {
  const par = await claves();
  const firmado = nombre.replace(/ +$/, '');
  const cabeza = new TextEncoder().encode(`fotonauta firma 1\n${datos.enviar}\n${firmado}\n`);
  const mensaje = new Uint8Array(cabeza.length + archivo.length);
  mensaje.set(cabeza);
  mensaje.set(archivo, cabeza.length);
  const firma = await crypto.subtle.sign({ name: 'Ed25519' }, par.privateKey, mensaje);
  const clave = await crypto.subtle.exportKey('raw', par.publicKey);
  const consulta = Array.from(bytes, (b) => `%${b.toString(16).padStart(2, '0')}`).join('');
  let r;
  try {
    r = await fetch(`${datos.enviar}?yourname=${consulta}`, {
      method: 'POST',
      body: archivo,
      headers: { 'Content-Type': 'application/octet-stream', 'Fotonauta-Clave': hex(clave), 'Fotonauta-Firma': hex(firma) },
    });
  } catch (e) {
    return { estado: 0, texto: 'the server did not answer; try again' };
  }
  return { estado: r.status, texto: (await r.text()).split('\n')[0].slice(0, 300) };
}

async function jugar() {
  const [m, texto] = await Promise.all([cargar_modulo(), traer(datos.texto, 'level')]);
  const e = m.e;
  m.exigir(e.fotonauta_nivel_texto(m.escribir(texto)), 'This level cannot be played here');
  const fps = e.fotonauta_fotogramas_por_segundo();
  const { lienzo, contexto, imagen, sonido, cambiar_sonido } = preparar_visor(m);
  const visor = $('visor');

  // ---- The pointer, in the game's pixels.
  let x = -1, y = -1, botones = 0, pulsados = 0, rueda = 0;
  let horario = false;  // the toggle: one finger turns clockwise
  // Touch: one finger turns anticlockwise (clockwise with the toggle), two
  // fingers clockwise. A first finger waits a moment for a second one, so
  // two fingers landing a few milliseconds apart make no step the wrong way.
  const ESPERA_SEGUNDO_DEDO_MS = 60;
  const toques = new Set();
  let primer_toque = null;  // when a first finger's press is still held back
  const un_dedo = () => (horario ? DERECHO : IZQUIERDO);
  const a_juego = (ev) => {
    const r = lienzo.getBoundingClientRect();
    x = Math.floor((ev.clientX - r.left) * ANCHO / r.width);
    y = Math.floor((ev.clientY - r.top) * ALTO / r.height);
  };
  const pulsar = (b) => {
    botones |= b;
    pulsados |= b;
  };
  // The held-back press of a first finger, once its moment has passed.
  const toque_debido = (ahora) => {
    if (primer_toque !== null && ahora - primer_toque >= ESPERA_SEGUNDO_DEDO_MS) {
      primer_toque = null;
      pulsar(un_dedo());
    }
  };
  lienzo.addEventListener('pointerdown', (ev) => {
    ev.preventDefault();
    lienzo.setPointerCapture(ev.pointerId);
    if (ev.pointerType !== 'touch') {
      a_juego(ev);
      pulsar(ev.button === 2 ? DERECHO : ev.button === 0 ? IZQUIERDO | (ev.altKey ? ALT : 0) : 0);
      return;
    }
    toques.add(ev.pointerId);
    if (toques.size === 1) {
      a_juego(ev);
      primer_toque = performance.now();
    } else {
      // A second finger: clockwise, where the first one is.
      primer_toque = null;
      botones = DERECHO;
      pulsados = (pulsados & ~IZQUIERDO) | DERECHO;
    }
  });
  lienzo.addEventListener('pointermove', (ev) => {
    if (ev.pointerType !== 'touch' || toques.size === 1) {
      a_juego(ev);
    }
  });
  const soltar = (ev) => {
    if (ev.pointerType !== 'touch') {
      botones &= ~(ev.button === 2 ? DERECHO : IZQUIERDO | ALT);
      return;
    }
    toques.delete(ev.pointerId);
    if (primer_toque !== null) {
      // A tap quicker than the wait: still one step.
      primer_toque = null;
      pulsados |= un_dedo();
    }
    if (toques.size === 0) {
      botones = 0;
    }
  };
  lienzo.addEventListener('pointerup', soltar);
  lienzo.addEventListener('pointercancel', soltar);
  lienzo.addEventListener('pointerleave', (ev) => {
    if (ev.pointerType !== 'touch' && !botones) {
      x = y = -1;
    }
  });
  lienzo.addEventListener('contextmenu', (ev) => ev.preventDefault());
  lienzo.addEventListener('wheel', (ev) => {
    ev.preventDefault();
    a_juego(ev);
    rueda += ev.deltaY < 0 ? 1 : ev.deltaY > 0 ? -1 : 0;
  }, { passive: false });
  const sentido = $('sentido');
  const cambiar_sentido = () => {
    horario = !horario;
    sentido.setAttribute('aria-pressed', String(horario));
    sentido.innerHTML = horario ? '&#8635; Touch turns clockwise' : '&#8634; Touch turns anticlockwise';
  };
  sentido.addEventListener('click', cambiar_sentido);

  // ---- The game.
  let jugando = false, debidos = 0, antes = 0, partida = 0, dibujados = 0;
  const estado = (t) => {
    $('estado').textContent = t;
  };
  const empezar = () => {
    const semilla = crypto.getRandomValues(new BigUint64Array(1))[0];
    m.exigir(e.fotonauta_jugar(semilla), 'This level cannot be played here');
    partida++;
    jugando = true;
    debidos = 1;
    antes = performance.now();
    pulsados = rueda = 0;
    primer_toque = null;
    $('envio').hidden = true;
    $('respuesta').textContent = '';
    estado('playing');
    document.body.dataset.estado = 'jugando';
  };
  const terminar = async () => {
    jugando = false;
    sonido.callar();
    const puntos = e.fotonauta_puntos();
    const esta = partida;
    const grabados = m.copia(e.fotonauta_eventos_grabados(), e.fotonauta_largo_salida());
    const empaquetados = await empaquetar(grabados);
    if (esta !== partida) {
      return;
    }
    // A level played alone ends as a game left once won too: the levels
    // completed tell a win.
    const ganada = e.fotonauta_fases() > 0;
    estado(ganada ? `won, ${puntos} points` : `game over, ${puntos} points`);
    $('resultado').textContent = ganada ? `Level completed: ${puntos} points.` : `Game over: ${puntos} points.`;
    document.body.dataset.estado = 'fin';
    if (puntos <= 0) {
      $('respuesta').textContent = 'A run with no points has no place on the board: start again.';
      $('envio').hidden = false;
      $('enviar').disabled = true;
      return;
    }
    $('enviar').disabled = false;
    $('envio').hidden = false;
    $('envio').scrollIntoView({ block: 'nearest' });
    $('envio').onsubmit = (ev) => {
      ev.preventDefault();
      const nombre = $('nombre').value;
      const bytes = bytes_nombre(nombre);
      if (!bytes || !nombre.trim()) {
        $('respuesta').textContent = 'A name is 1 to 20 letters, digits or signs of Western European languages.';
        return;
      }
      m.exigir(e.fotonauta_nombre(m.escribir(bytes)), 'The name cannot be taken');
      const p = e.fotonauta_archivo(m.escribir(empaquetados), BigInt(Math.floor(Date.now() / 1000)));
      const archivo = m.copia(m.exigir(p, 'The run cannot be recorded'), e.fotonauta_largo_salida());
      $('enviar').disabled = true;
      $('respuesta').textContent = 'Sending…';
      atender(enviar(nombre, bytes, archivo).then(({ estado: s, texto: t }) => {
        const r = $('respuesta');
        r.textContent = '';
        const tablero = document.createElement('a');
        tablero.href = `${datos.tablero}?nombre=${encodeURIComponent(nombre.replace(/ +$/, ''))}`;
        tablero.textContent = 'See it on the level\'s board';
        if (s === 200 || s === 202) {
          r.append(s === 200 ? `Sent: the server says "${t}". `
                             : 'Sent: the server is still verifying it; it shows on the board once verified. ', tablero);
          document.body.dataset.estado = 'enviado';
        } else {
          r.append(`Not taken (${s || 'no answer'}): ${t}. `, tablero);
          $('enviar').disabled = s === 409 || s === 422;
          document.body.dataset.estado = 'rechazado';
        }
      }));
    };
  };
  cada_fotograma((ahora) => {
    if (jugando) {
      debidos += Math.min((ahora - antes) / 1000, MAX_RETRASO_S) * fps;
      let dibujado = false;
      toque_debido(ahora);
      while (debidos >= 1 && jugando) {
        debidos -= 1;
        const sigue = e.fotonauta_jugar_fotograma(x, y, botones, pulsados, rueda, 0);
        pulsados = rueda = 0;
        sonido.tocar(m.sonidos());
        dibujado = true;
        if (!sigue) {
          atender(terminar());
        }
      }
      if (dibujado) {
        m.pintar(contexto, imagen);
        visor.dataset.fotograma = String(++dibujados);
        visor.dataset.juego = String(e.fotonauta_fotogramas());
      }
    }
    antes = ahora;
  });

  $('otra').addEventListener('click', empezar);
  document.addEventListener('keydown', (ev) => {
    if (ev.target.tagName === 'INPUT' || ev.ctrlKey || ev.metaKey) {
      return;
    }
    const acciones = { m: cambiar_sonido, M: cambiar_sonido, r: empezar, R: empezar, d: cambiar_sentido, D: cambiar_sentido };
    if (acciones[ev.key]) {
      ev.preventDefault();
      acciones[ev.key]();
    }
  });
  empezar();
  lienzo.scrollIntoView({ block: 'nearest' });
}

atender(jugar());
