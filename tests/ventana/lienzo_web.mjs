// The browser's Watch page against the desktop game's viewer, for one frame
// of one recording, in two steps:
//
//   node lienzo_web.mjs ver URL FRACTION OUT.rgba PICTURE.png TEMP_FOLDER
//     opens the Watch page in headless Chromium, seeks through its scrub
//     bar to the frame FRACTION of the way in, keeps the canvas (RGBA bytes,
//     and a PNG to look at) and prints the frame's number;
//   node lienzo_web.mjs comparar PAGE.rgba WINDOW.rgb
//     compares that canvas with the desktop window's picture of the same
//     frame (RGB bytes, 1024 x 768) over the board, with the beam and the
//     gremlins on it: every pixel the same 16-bit colour.
//
// Both pictures are one 16-bit frame of the game widened to 8 bits a
// channel, by the window system on one side and by the page on the other;
// the comparison is of the 16-bit colours (5 bits of red, 6 of green, 5 of
// blue), which both widenings keep. The strips over and under the board are
// left out: each viewer writes its own caption there.
import { readFileSync, writeFileSync } from 'node:fs';
import { abrir_navegador, fallar } from '../servidor/cdp.mjs';

const [orden, ...resto] = process.argv.slice(2);
const ANCHO = 1024;
// The board: 15 x 9 cells of 64 pixels inside a 32-pixel frame.
const TABLERO = { x: 32, y: 32, ancho: 15 * 64, alto: 9 * 64 };

if (orden === 'ver') {
  const [url, fraccion, salida, foto, tmp] = resto;
  const n = await abrir_navegador(tmp);
  try {
    await n.ir(url);
    await n.esperar('["listo", "error"].includes(document.body.dataset.estado)', 30000, 'the Watch page');
    if (await n.evaluar('document.body.dataset.estado') !== 'listo') {
      fallar(`the Watch page says: ${await n.evaluar('document.getElementById("aviso").textContent')}`);
    }
    const total = Number(await n.evaluar('document.getElementById("barra").max')) + 1;
    const f = Math.floor(total * Number(fraccion));
    await n.evaluar(`(() => { const b = document.getElementById('barra'); b.value = ${f};
      b.dispatchEvent(new Event('input')); })()`);
    const mostrado = Number(await n.evaluar('document.getElementById("visor").dataset.fotograma'));
    mostrado === f || fallar(`the seek to frame ${f} shows frame ${mostrado}`);
    const datos = await n.evaluar(`(() => {
      const d = document.getElementById('lienzo').getContext('2d').getImageData(0, 0, 1024, 768).data;
      let s = '';
      for (let i = 0; i < d.length; i += 0x8000) {
        s += String.fromCharCode(...d.subarray(i, i + 0x8000));
      }
      return btoa(s);
    })()`);
    writeFileSync(salida, Buffer.from(datos, 'base64'));
    const png = await n.evaluar('document.getElementById("lienzo").toDataURL("image/png")');
    writeFileSync(foto, Buffer.from(png.split(',')[1], 'base64'));
    n.avisos.length === 0 || fallar(`the Watch page reported ${n.avisos.join(' | ')}`);
    console.log(f);
  } finally {
    await n.cerrar();
  }
} else if (orden === 'comparar') {
  const [pagina, ventana] = resto.map((r) => readFileSync(r));
  const color = (b, i, paso) => ((b[i * paso] >> 3) << 11) | ((b[i * paso + 1] >> 2) << 5) | (b[i * paso + 2] >> 3);
  let distintos = 0;
  let primero = '';
  for (let y = TABLERO.y; y < TABLERO.y + TABLERO.alto; y++) {
    for (let x = TABLERO.x; x < TABLERO.x + TABLERO.ancho; x++) {
      const i = y * ANCHO + x;
      const a = color(pagina, i, 4);
      const b = color(ventana, i, 3);
      if (a !== b) {
        distintos++;
        primero ||= `(${x}, ${y}): ${a.toString(16)} in the page, ${b.toString(16)} in the window`;
      }
    }
  }
  if (distintos > 0) {
    fallar(`${distintos} of the board's pixels differ, the first at ${primero}`);
  }
} else {
  fallar(`unknown step '${orden}'`);
}
