// The Watch page: a verified game's recording played by the game's own
// module, drawn on the canvas, paced by the game's clock at the speed
// chosen; any frame reached at once through the scrub bar.
import { Fallo, atender, cada_fotograma, cargar_modulo, datos, preparar_visor, traer } from './comun.js';

const $ = (id) => document.getElementById(id);
const VELOCIDADES = [0.25, 0.5, 1, 2, 4, 8];
// Past this much time behind (a tab in the background), the watch does not
// run to catch up.
const MAX_RETRASO_S = 0.25;

async function ver() {
  const [m, bytes] = await Promise.all([cargar_modulo(), traer(datos.repeticion, 'recording')]);
  const e = m.e;
  await m.abrir(bytes);
  m.exigir(e.fotonauta_ver(), 'This recording cannot be watched');
  const total = e.fotonauta_ver_total();
  if (total === 0) {
    throw new Fallo('This recording has no frames to watch.');
  }
  const fps = e.fotonauta_fotogramas_por_segundo();
  const { contexto, imagen, sonido, cambiar_sonido } = preparar_visor(m);
  const barra = $('barra');
  barra.max = String(total - 1);
  const reloj = (f) => `${Math.floor(f / fps / 60)}:${String(Math.floor(f / fps) % 60).padStart(2, '0')}`;

  let jugando = false;
  let velocidad = 1;
  let debidos = 0;  // frames due, in fractions, at the speed chosen
  let antes = 0;

  const mostrar = () => {
    m.pintar(contexto, imagen);
    const actual = e.fotonauta_ver_actual();
    barra.value = String(actual);
    $('tiempo').textContent = `${reloj(actual)} / ${reloj(total - 1)}`;
    if ($('nivel')) {
      $('nivel').textContent = String(e.fotonauta_nivel() + 1);
    }
    $('visor').dataset.fotograma = String(actual);
  };
  const poner_boton = () => {
    $('reproducir').innerHTML = jugando ? '&#10074;&#10074; Pause' : '&#9654; Play';
  };
  const pausar = () => {
    jugando = false;
    sonido.callar();
    poner_boton();
  };
  const ir_a = (n) => {
    m.exigir(e.fotonauta_buscar(Math.max(0, Math.min(total - 1, n))), 'This frame cannot be drawn');
    sonido.tocar(m.sonidos());
    mostrar();
  };
  const paso = (d) => {
    pausar();
    ir_a(e.fotonauta_ver_actual() + d);
  };
  const alternar = () => {
    if (jugando) {
      pausar();
      return;
    }
    if (e.fotonauta_ver_actual() >= total - 1) {
      ir_a(0);
    }
    jugando = true;
    debidos = 0;
    antes = performance.now();
    poner_boton();
  };
  const cambiar_velocidad = (d) => {
    const i = Math.max(0, Math.min(VELOCIDADES.length - 1, VELOCIDADES.indexOf(velocidad) + d));
    velocidad = VELOCIDADES[i];
    $('velocidad').value = String(velocidad);
  };

  cada_fotograma((ahora) => {
    if (jugando) {
      debidos += Math.min((ahora - antes) / 1000, MAX_RETRASO_S) * fps * velocidad;
      let dibujado = false;
      while (debidos >= 1) {
        debidos -= 1;
        if (!e.fotonauta_siguiente()) {
          pausar();
          break;
        }
        sonido.tocar(m.sonidos());
        dibujado = true;
      }
      if (dibujado) {
        mostrar();
      }
    }
    antes = ahora;
  });

  $('reproducir').addEventListener('click', alternar);
  $('atras').addEventListener('click', () => paso(-1));
  $('adelante').addEventListener('click', () => paso(1));
  $('velocidad').addEventListener('change', (ev) => {
    velocidad = Number(ev.target.value);
  });
  barra.addEventListener('input', () => {
    pausar();
    ir_a(Number(barra.value));
  });
  document.addEventListener('keydown', (ev) => {
    // The name fields and the scrub bar's own keys are theirs.
    if (ev.ctrlKey || ev.metaKey || ev.altKey || (ev.target.tagName === 'INPUT' && ev.target !== barra) ||
        (ev.target === barra && ev.key.match(/^(Arrow|Home|End|Page)/))) {
      return;
    }
    const acciones = {
      ' ': alternar,
      ',': () => paso(-1),
      '.': () => paso(1),
      ArrowLeft: () => ir_a(e.fotonauta_ver_actual() - 5 * fps),
      ArrowRight: () => ir_a(e.fotonauta_ver_actual() + 5 * fps),
      '-': () => cambiar_velocidad(-1),
      '+': () => cambiar_velocidad(1),
      '=': () => cambiar_velocidad(1),
      Home: () => ir_a(0),
      End: () => ir_a(total - 1),
      m: cambiar_sonido,
      M: cambiar_sonido,
    };
    const accion = acciones[ev.key];
    if (accion) {
      ev.preventDefault();
      // A focused button would take the same Space as a click too.
      if (ev.target.tagName === 'BUTTON') {
        ev.target.blur();
      }
      accion();
    }
  });
  for (const id of ['reproducir', 'atras', 'adelante', 'velocidad']) {
    $(id).disabled = false;
  }
  barra.disabled = false;
  ir_a(0);
  // When the first frame reached the canvas, for bench/web.
  performance.mark('fotonauta-primer-fotograma');
  document.body.dataset.estado = 'listo';
}

atender(ver());
