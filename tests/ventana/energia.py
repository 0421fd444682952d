"""Loudness of windows of a recording of the game's sound output (raw
signed 16-bit little-endian stereo at 44100 Hz), in RMS of 100 ms slices,
full scale 1. Writes a line per window to the report and exits 1 when a
window is not as loud or as quiet as asked:

    python3 energia.py GRABACION INFORME  NOMBRE DESDE SEGUNDOS MODO ...

MODO is "musica" (music plays all along: the median slice above 0.003),
"alto" (something was heard: the loudest slice above 0.01) or "bajo"
(silence: the loudest slice below 0.002). The floors sit well clear of
what the sound card's test (audio_real) measures for its music and its
silence.
"""
import array
import math
import statistics
import sys

HZ = 44100
grabacion, informe, pedidos = sys.argv[1], sys.argv[2], sys.argv[3:]
muestras = array.array("h")
with open(grabacion, "rb") as f:
    datos = f.read()
muestras.frombytes(datos[: len(datos) // 4 * 4])
if sys.byteorder != "little":
    muestras.byteswap()
total = len(muestras) // 2

def porciones(desde, segundos):
    """RMS of each 100 ms slice of the window, both channels together."""
    n = HZ // 10
    inicio = max(0, int(desde * HZ))
    fin = min(total, int((desde + segundos) * HZ))
    r = []
    for a in range(inicio, fin - n + 1, n):
        trozo = muestras[2 * a : 2 * (a + n)]
        r.append(math.sqrt(sum(x * x for x in trozo) / len(trozo)) / 32768)
    return r

lineas, bien = [f"recording: {total / HZ:.1f} s"], True
for i in range(0, len(pedidos), 4):
    nombre, desde, segundos, modo = pedidos[i], float(pedidos[i + 1]), float(pedidos[i + 2]), pedidos[i + 3]
    p = porciones(desde, segundos)
    if not p:
        lineas.append(f"{nombre}: the window {desde:.1f} s + {segundos} s is not in the recording")
        bien = False
        continue
    mediana, maximo = statistics.median(p), max(p)
    ok = {"musica": mediana > 0.003, "alto": maximo > 0.01, "bajo": maximo < 0.002}[modo]
    bien = bien and ok
    lineas.append(f"{nombre} ({modo}, {desde:.1f} s + {segundos} s): median RMS {mediana:.4f}, "
                  f"loudest {maximo:.4f} {'ok' if ok else 'WRONG'}")
with open(informe, "w") as f:
    f.write("\n".join(lineas) + "\n")
sys.exit(0 if bien else 1)
