// Headless Chromium driven through its DevTools protocol, with nothing
// but Node: the browser started with --remote-debugging-pipe, which reads
// NUL-terminated JSON commands on its fd 3 and writes answers and events
// on its fd 4. Every wait is bounded, and the browser is killed however
// the test ends (killed with Node, it ends itself as its pipe closes).
//
//   const n = await abrir_navegador(carpeta);
//   await n.ir(url); await n.evaluar('1 + 1'); await n.cerrar();
import { spawn } from 'node:child_process';
import { mkdirSync, writeFileSync } from 'node:fs';

export function fallar(texto) {
  throw new Error(texto);
}

export async function abrir_navegador(carpeta, { ancho = 1280, alto = 1024 } = {}) {
  mkdirSync(`${carpeta}/perfil`, { recursive: true });
  const proceso = spawn('chromium', [
    '--headless', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe', `--user-data-dir=${carpeta}/perfil`,
    '--no-first-run', '--disable-background-networking', '--disable-component-update', '--disable-sync',
    '--mute-audio', `--window-size=${ancho},${alto}`, 'about:blank',
  ], {
    stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'],
    env: { ...process.env, HOME: `${carpeta}/casa`, XDG_CACHE_HOME: `${carpeta}/cache`, XDG_CONFIG_HOME: `${carpeta}/config` },
  });
  const matar = () => {
    try {
      proceso.kill('SIGKILL');
    } catch {
      // already gone
    }
  };
  process.on('exit', matar);
  let errores_chromium = '';
  proceso.stderr.on('data', (d) => {
    errores_chromium = (errores_chromium + d).slice(-2000);
  });
  const hacia = proceso.stdio[3];
  const desde = proceso.stdio[4];

  let siguiente = 1;
  const esperando = new Map();
  const oyentes = [];
  let resto = Buffer.alloc(0);
  desde.on('data', (trozo) => {
    resto = Buffer.concat([resto, trozo]);
    for (let fin = resto.indexOf(0); fin >= 0; fin = resto.indexOf(0)) {
      const mensaje = JSON.parse(resto.subarray(0, fin).toString('utf8'));
      resto = resto.subarray(fin + 1);
      if (mensaje.id !== undefined) {
        const e = esperando.get(mensaje.id);
        esperando.delete(mensaje.id);
        if (e) {
          mensaje.error ? e.mal(new Error(`${e.metodo}: ${mensaje.error.message}`)) : e.bien(mensaje.result);
        }
      } else {
        for (const o of oyentes) {
          o(mensaje);
        }
      }
    }
  });
  proceso.on('exit', () => {
    for (const e of esperando.values()) {
      e.mal(new Error(`chromium ended during ${e.metodo}: ${errores_chromium}`));
    }
    esperando.clear();
  });

  const enviar = (metodo, params = {}, sesion = undefined, ms = 15000) => new Promise((bien, mal) => {
    const id = siguiente++;
    const reloj = setTimeout(() => {
      esperando.delete(id);
      mal(new Error(`${metodo}: no answer in ${ms} ms`));
    }, ms);
    esperando.set(id, {
      metodo,
      bien: (r) => { clearTimeout(reloj); bien(r); },
      mal: (e) => { clearTimeout(reloj); mal(e); },
    });
    hacia.write(JSON.stringify({ id, method: metodo, params, sessionId: sesion }) + '\0');
  });

  // The first page, and the events the tests look at: exceptions, console
  // errors, and the browser's own log (a blocked script or style shows there).
  const { targetInfos } = await enviar('Target.getTargets');
  const pagina = targetInfos.find((t) => t.type === 'page') ?? fallar('chromium opened no page');
  const { sessionId: sesion } = await enviar('Target.attachToTarget', { targetId: pagina.targetId, flatten: true });
  const avisos = [];
  oyentes.push((m) => {
    if (m.sessionId !== sesion) {
      return;
    }
    if (m.method === 'Runtime.exceptionThrown') {
      avisos.push(`exception: ${m.params.exceptionDetails.exception?.description ?? m.params.exceptionDetails.text}`);
    } else if (m.method === 'Runtime.consoleAPICalled' && m.params.type === 'error') {
      avisos.push(`console: ${m.params.args.map((a) => a.value ?? a.description).join(' ')}`);
    } else if (m.method === 'Log.entryAdded' && m.params.entry.level === 'error' &&
               !m.params.entry.url?.endsWith('/favicon.ico')) {
      avisos.push(`log: ${m.params.entry.text}`);
    }
  });
  const orden = (metodo, params, ms) => enviar(metodo, params, sesion, ms);
  await orden('Page.enable');
  await orden('Runtime.enable');
  await orden('Log.enable');

  const n = {
    orden,
    avisos,
    // Loads `url` and waits for its load event.
    async ir(url) {
      const cargada = new Promise((bien, mal) => {
        const reloj = setTimeout(() => mal(new Error(`${url}: not loaded in 15 s`)), 15000);
        oyentes.push(function o(m) {
          if (m.sessionId === sesion && m.method === 'Page.loadEventFired') {
            clearTimeout(reloj);
            oyentes.splice(oyentes.indexOf(o), 1);
            bien();
          }
        });
      });
      avisos.length = 0;
      await orden('Page.navigate', { url });
      await cargada;
    },
    // The value of a JavaScript expression in the page (promises awaited).
    async evaluar(expresion) {
      const r = await orden('Runtime.evaluate', { expression: expresion, awaitPromise: true, returnByValue: true });
      if (r.exceptionDetails) {
        fallar(`${expresion.slice(0, 80)}: ${r.exceptionDetails.exception?.description ?? r.exceptionDetails.text}`);
      }
      return r.result.value;
    },
    // Waits until the expression is true, at most `ms`; its last value.
    async esperar(expresion, ms, que) {
      const limite = Date.now() + ms;
      for (;;) {
        const v = await n.evaluar(expresion);
        if (v) {
          return v;
        }
        if (Date.now() > limite) {
          fallar(`${que}: not so after ${ms} ms (${expresion.slice(0, 100)}); page messages: ${avisos.join(' | ')}`);
        }
        await new Promise((r) => setTimeout(r, 20));
      }
    },
    // Answers the page's requests for addresses that match `patron` with
    // `cuerpo` in place of the server's answer, until dejar_de_interceptar.
    async interceptar(patron, cuerpo, estado = 200) {
      oyentes.push(n.interceptor = (m) => {
        if (m.sessionId === sesion && m.method === 'Fetch.requestPaused') {
          orden('Fetch.fulfillRequest', {
            requestId: m.params.requestId, responseCode: estado, body: Buffer.from(cuerpo).toString('base64'),
            responseHeaders: [{ name: 'Content-Type', value: 'application/octet-stream' }],
          }).catch(() => {});
        }
      });
      await orden('Fetch.enable', { patterns: [{ urlPattern: patron }] });
    },
    async dejar_de_interceptar() {
      await orden('Fetch.disable');
      oyentes.splice(oyentes.indexOf(n.interceptor), 1);
    },
    async captura(fichero) {
      const { data } = await orden('Page.captureScreenshot', { format: 'png' });
      writeFileSync(fichero, Buffer.from(data, 'base64'));
    },
    async cerrar() {
      try {
        await enviar('Browser.close', {}, undefined, 3000);
      } catch {
        // killed below
      }
      matar();
    },
  };
  return n;
}
