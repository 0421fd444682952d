// The Watch and Play pages in real headless Chromium against a real
// server, in one browser session:
// - a verified run's Watch link: the recording drawn on the canvas, a seek
//   to a frame giving the same picture as stepping to it frame by frame,
//   play and pause (the desktop viewer's own frame is compared with the
//   page's by ventana_comunidad_entera);
// - the level played to a win with the mouse from the solver's plan, the
//   run signed and sent, verified, on the board with a Watch link that
//   plays it; the same by touch on a phone's 390 px wide page;
// - a missing game, a damaged recording, an unreadable level and a
//   browser without WebAssembly: each says so in the page (screenshots);
// - no script error and nothing blocked by the pages' policy throughout.
//
//   node paginas.mjs URL LEVEL_ID PLAN BOARD_DUMP CAPTURES TEMP_FOLDER LOSETA_EN_CELDA TILE_SHEET
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { abrir_navegador, fallar } from './cdp.mjs';

const [base, id, ruta_plan, ruta_volcado, capturas, tmp, leer_losetas, hoja] = process.argv.slice(2);
const plan = readFileSync(ruta_plan, 'utf8').trim().split('\n').map((l) => l.trim().split(/\s+/));
const volcado = readFileSync(ruta_volcado, 'utf8').trim().split(/\s+/).map(Number);
const t0 = Date.now();
const ok = (texto) => console.log(`ok: ${texto} (${((Date.now() - t0) / 1000).toFixed(1)} s)`);
const dormir = (ms) => new Promise((r) => setTimeout(r, ms));

const n = await abrir_navegador(tmp);
const estado = () => n.evaluar('document.body.dataset.estado ?? ""');
const aviso = () => n.evaluar('document.getElementById("aviso").textContent');
// A hash of the canvas's pixels in a region, and the count of its colours.
const pixeles = (x = 0, y = 0, w = 1024, h = 768) => n.evaluar(`(() => {
  const d = document.getElementById('lienzo').getContext('2d').getImageData(${x}, ${y}, ${w}, ${h}).data;
  let h = 2166136261;
  const colores = new Set();
  for (let i = 0; i < d.length; i += 4) {
    const c = d[i] << 16 | d[i + 1] << 8 | d[i + 2];
    colores.add(c);
    h = Math.imul(h ^ c, 16777619);
  }
  return { hash: h >>> 0, colores: colores.size };
})()`);
const guardar_lienzo = async (fichero) => {
  const url = await n.evaluar('document.getElementById("lienzo").toDataURL("image/png")');
  writeFileSync(fichero, Buffer.from(url.split(',')[1], 'base64'));
};
const sin_avisos = (donde) => {
  if (n.avisos.length) {
    fallar(`${donde}: the page reported ${n.avisos.join(' | ')}`);
  }
};
const tecla = async (key, code, text = key) => {
  await n.orden('Input.dispatchKeyEvent', { type: 'keyDown', key, code, text });
  await n.orden('Input.dispatchKeyEvent', { type: 'keyUp', key, code });
};
const fotograma = async () => Number(await n.evaluar('document.getElementById("visor").dataset.fotograma ?? -1'));
const listo = async (que) => {
  await n.esperar('["listo", "jugando", "error"].includes(document.body.dataset.estado)', 20000, que);
  if (await estado() === 'error') {
    fallar(`${que}: the page says "${await aviso()}"`);
  }
};

// Watches the run at `url`: a seek and a frame-by-frame step agree, play
// runs and pause holds. The picture at the frame chosen goes to `foto`.
async function ver(url, que, foto) {
  await n.ir(url);
  await listo(que);
  const total = Number(await n.evaluar('document.getElementById("barra").max')) + 1;
  total > 40 || fallar(`${que}: only ${total} frames`);
  const f = Math.floor(total * 0.4);
  const buscar = (k) => n.evaluar(`(() => { const b = document.getElementById('barra'); b.value = ${k};
    b.dispatchEvent(new Event('input')); })()`);
  await buscar(f);
  (await fotograma()) === f || fallar(`${que}: the seek to frame ${f} shows frame ${await fotograma()}`);
  const buscado = await pixeles();
  buscado.colores >= 16 || fallar(`${que}: frame ${f} has ${buscado.colores} colours: nothing is drawn`);
  if (foto) {
    await guardar_lienzo(foto);
  }
  await buscar(f - 3);
  for (let i = 0; i < 3; i++) {
    await tecla('.', 'Period');
  }
  (await fotograma()) === f || fallar(`${que}: three steps from ${f - 3} show frame ${await fotograma()}`);
  (await pixeles()).hash === buscado.hash || fallar(`${que}: frame ${f} sought and stepped to differ`);
  await tecla(' ', 'Space');
  await n.esperar(`Number(document.getElementById('visor').dataset.fotograma) > ${f + 5}`, 5000, `${que}: playing`);
  await tecla(' ', 'Space');
  const parado = await fotograma();
  await dormir(150);
  (await fotograma()) === parado || fallar(`${que}: pause does not hold`);
  sin_avisos(que);
  return { total, f };
}

// The tile each listed cell of the canvas shows, read as the window tests
// read the game's window (tests/ventana/loseta_en_celda).
// Only the cells' rectangle is copied: a picture mostly blank packs fast.
async function losetas(...celdas) {
  const xs = celdas.map((c) => 32 + 64 * (c % 15)), ys = celdas.map((c) => 32 + 64 * Math.floor(c / 15));
  const [x, y] = [Math.min(...xs), Math.min(...ys)];
  const [w, h] = [Math.max(...xs) + 64 - x, Math.max(...ys) + 64 - y];
  const url = await n.evaluar(`(() => {
    const c = document.createElement('canvas');
    c.width = 1024;
    c.height = 768;
    c.getContext('2d').drawImage(document.getElementById('lienzo'), ${x}, ${y}, ${w}, ${h}, ${x}, ${y}, ${w}, ${h});
    return c.toDataURL('image/png');
  })()`);
  writeFileSync(`${tmp}/lienzo.png`, Buffer.from(url.split(',')[1], 'base64'));
  return execFileSync(leer_losetas, [`${tmp}/lienzo.png`, hoja, ...celdas.map(String)], { encoding: 'latin1' })
    .trim().split('\n').map(Number);
}
// A mirror's angle (0-15) from its tile: lit 112-127, dark 16-31.
const angulo_de = (t) => (t >= 112 && t <= 127 ? t - 112 : t - 16);
const receptor_encendido = (t) => t >= 164 && t <= 175;
const receptor = volcado.findIndex((b) => b >= 10 && b <= 13);

// Plays the level from the solver's plan as the window tests do: each
// mirror turned until it shows the plan's angle (the right button
// clockwise, the left anticlockwise, one press a step), each wait until
// its targets are hit. `girar(x, y, horario)` presses once; `tocar(x, y)`
// presses off the board. True once won.
async function intentar(girar, tocar) {
  await n.esperar('Number(document.getElementById("visor").dataset.juego) > 0', 15000, 'the game starts');
  const jugando = async () => await estado() === 'jugando';
  for (const [primero, ...resto] of plan) {
    if (primero === 'espera') {
      const limite = Date.now() + 10000;
      while (!(await losetas(...resto)).every((t) => t !== 135)) {
        if (Date.now() > limite || !await jugando()) {
          return false;
        }
        await dormir(100);
      }
    } else if (primero !== 'fin') {
      const c = Number(primero);
      for (let vuelta = 0; ; vuelta++) {
        const [t, r] = await losetas(c, receptor);
        if (receptor_encendido(r) || !await jugando()) {
          break;
        }
        const d = (Number(resto[0]) - angulo_de(t) + 16) % 16;
        if (d === 0) {
          break;
        }
        if (vuelta === 20) {
          return false;
        }
        for (let i = 0; i < (d <= 8 ? d : 16 - d); i++) {
          const antes = await fotograma();
          await girar(64 + 64 * (c % 15), 64 + 64 * Math.floor(c / 15), d <= 8);
          // A mirror turns a step in 3 frames: the next press after it.
          // (A press in the bonus count ends the game.)
          await n.esperar(`Number(document.getElementById('visor').dataset.fotograma) > ${antes + 4} ||
                           document.body.dataset.estado !== 'jugando'`, 3000, 'a step');
        }
      }
    }
  }
  // The receiver lit, then a press ends the bonus count.
  for (let i = 0; i < 40 && await jugando(); i++) {
    if (receptor_encendido((await losetas(receptor))[0])) {
      await tocar(512, 745);
    }
    await dormir(250);
  }
  return (await n.evaluar('document.getElementById("resultado").textContent')).startsWith('Level completed');
}

// A level won (three tries: a gremlin may take a life), the run sent
// under `nombre`, verified.
async function ganar_y_enviar(girar, tocar, nombre, que) {
  await n.ir(`${base}/niveles/${id}/jugar`);
  await listo(que);
  let ganado = false;
  for (let intento = 1; intento <= 3 && !ganado; intento++) {
    ganado = await intentar(girar, tocar);
    if (!ganado) {
      await n.captura(`${capturas}/servidor_jugar_${nombre}_intento${intento}.png`);
      console.log(`${que}: try ${intento} not won (servidor_jugar_${nombre}_intento${intento}.png); again`);
      await tecla('r', 'KeyR');
      await n.esperar('document.body.dataset.estado === "jugando"', 5000, 'a new game');
    }
  }
  ganado || fallar(`${que}: the level was not won in three tries`);
  await n.captura(`${capturas}/servidor_jugar_${nombre}.png`);
  await n.evaluar(`document.getElementById('nombre').value = ${JSON.stringify(nombre)};
    document.getElementById('enviar').click()`);
  await n.esperar('["enviado", "rechazado"].includes(document.body.dataset.estado)', 15000, `${que}: the run sent`);
  const respuesta = await n.evaluar('document.getElementById("respuesta").textContent');
  respuesta.startsWith('Sent: the server says "verified') || fallar(`${que}: the server answered "${respuesta}"`);
  await n.captura(`${capturas}/servidor_jugar_${nombre}_enviado.png`);
  sin_avisos(que);
  ok(`${que}: won, signed, sent and ${respuesta}`);
}

// The board has the player's verified run with a Watch link that plays it.
async function en_el_tablero(nombre, que) {
  await n.ir(`${base}/niveles/${id}?nombre=${nombre}`);
  const ver_url = await n.evaluar(`[...document.querySelectorAll('tr')].find((f) =>
    f.querySelector('td.nombre')?.textContent === ${JSON.stringify(nombre)})?.querySelector('a.ver')?.href`);
  ver_url || fallar(`${que}: no Watch link for ${nombre} on the board`);
  await ver(ver_url, `${que}: watching it`);
  ok(`${que}: on the board, and its Watch link plays it`);
}

// Each bad input shows its message, the canvas hidden, the status the
// server knows in the page's own answer.
async function mal(url, que, espera, estado_http) {
  await n.ir(url);
  await n.esperar('!document.getElementById("aviso").hidden', 15000, que);
  const texto = await aviso();
  texto.includes(espera) || fallar(`${que}: the page says "${texto}", not "${espera}"`);
  const marco = await n.evaluar('document.getElementById("marco")?.hidden ?? true');
  marco || fallar(`${que}: the canvas is still shown`);
  if (estado_http) {
    const s = await n.evaluar(`fetch(${JSON.stringify(url)}).then((r) => r.status)`);
    s === estado_http || fallar(`${que}: answered ${s}, not ${estado_http}`);
  }
  await n.captura(`${capturas}/servidor_${que.replace(/\W+/g, '_')}.png`);
  ok(`${que}: "${texto}"`);
}

try {
  // ---- Watch
  await n.ir(`${base}/niveles/${id}`);
  const enlace = await n.evaluar('document.querySelector("a.ver")?.href');
  enlace || fallar('the level\'s board has no Watch link');
  const { total, f } = await ver(enlace, 'Watch', `${capturas}/servidor_ver.png`);
  await n.captura(`${capturas}/servidor_ver_pagina.png`);
  ok(`Watch: ${total} frames; frame ${f} sought equals it stepped to; play and pause`);

  // ---- Play with the mouse
  const raton = async (x, y, boton) => {
    const r = await n.evaluar(`(() => { const r = document.getElementById('lienzo').getBoundingClientRect();
      return [r.left, r.top, r.width / 1024]; })()`);
    const p = { x: r[0] + x * r[2], y: r[1] + y * r[2] };
    await n.orden('Input.dispatchMouseEvent', { type: 'mouseMoved', ...p });
    await n.orden('Input.dispatchMouseEvent', { type: 'mousePressed', ...p, button: boton, clickCount: 1,
                                                buttons: boton === 'left' ? 1 : 2 });
    await n.orden('Input.dispatchMouseEvent', { type: 'mouseReleased', ...p, button: boton, clickCount: 1 });
  };
  await ganar_y_enviar((x, y, horario) => raton(x, y, horario ? 'right' : 'left'), (x, y) => raton(x, y, 'left'),
                       'Raton', 'Play with the mouse');
  await en_el_tablero('Raton', 'Play with the mouse');

  // ---- Play by touch, on a phone's width
  await n.orden('Emulation.setDeviceMetricsOverride', { width: 390, height: 844, deviceScaleFactor: 2, mobile: true });
  await n.orden('Emulation.setTouchEmulationEnabled', { enabled: true, maxTouchPoints: 5 });
  const toque = async (x, y, dedos) => {
    const r = await n.evaluar(`(() => { const r = document.getElementById('lienzo').getBoundingClientRect();
      return [r.left, r.top, r.width / 1024]; })()`);
    const puntos = [];
    for (let i = 0; i < dedos; i++) {
      puntos.push({ x: r[0] + x * r[2] + 6 * i, y: r[1] + y * r[2], id: i });
    }
    await n.orden('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: puntos });
    await n.orden('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  };
  await ganar_y_enviar((x, y, horario) => toque(x, y, horario ? 2 : 1), (x, y) => toque(x, y, 1), 'Movil',
                       'Play by touch at 390 px');
  const ancho = await n.evaluar('[document.documentElement.scrollWidth, document.getElementById("lienzo").getBoundingClientRect().width]');
  ancho[0] <= 390 && ancho[1] <= 390 || fallar(`the page at 390 px is ${ancho[0]} px wide, its canvas ${ancho[1]}`);
  await en_el_tablero('Movil', 'Play by touch at 390 px');
  await n.orden('Emulation.clearDeviceMetricsOverride');
  await n.orden('Emulation.setTouchEmulationEnabled', { enabled: false });

  // ---- Bad input
  await mal(`${base}/ver/999999`, 'a game that is not there', 'There is no verified game 999999', 404);
  await mal(`${base}/ver/niveles/${id}/999999`, 'a run not on the board', 'There is no verified game 999999 on this level', 404);
  await mal(`${base}/niveles/0123456789abcdef/jugar`, 'a level that is not there', 'No level 0123456789abcdef', 404);
  await n.interceptar('*.frep', 'FREP this is no recording at all');
  await mal(enlace, 'a damaged recording', 'This recording cannot be read');
  await n.dejar_de_interceptar();
  await n.interceptar('*/texto', 'titulo: roto\nzz zz zz\n');
  await mal(`${base}/niveles/${id}/jugar`, 'a level that cannot be read', 'This level cannot be played here');
  await n.dejar_de_interceptar();
  const { identifier } = await n.orden('Page.addScriptToEvaluateOnNewDocument', { source: 'delete globalThis.WebAssembly;' });
  await mal(enlace, 'a browser without WebAssembly', 'This browser cannot run WebAssembly');
  await n.orden('Page.removeScriptToEvaluateOnNewDocument', { identifier });
  console.log('PASS');
} catch (e) {
  await n.captura(`${capturas}/servidor_paginas_fallo.png`).catch(() => {});
  console.error(`FALLO: ${e.message}`);
  process.exitCode = 1;
} finally {
  await n.cerrar();
}
