"""A stand-in for the score server's community-level endpoints, on loopback,
for the game's window tests: it serves one level's text (and answers 404 and
410 as the server does), and takes runs sent to a level's board, checking
each with the level tool's replay of the recording, as the server's verifier
would, answering 200 verified <points> or 422 with the reason.

usage: servidor_niveles.py PUERTO_FICHERO CARPETA ID NIVEL.txt ID_OCULTO NIVELES
Each run sent is kept in CARPETA as N.frep, with N.consulta (its query)."""
import http.server
import os
import subprocess
import sys
import urllib.parse

puerto_fichero, carpeta, ID, NIVEL, OCULTO, NIVELES = sys.argv[1:7]
with open(NIVEL, "rb") as f:
    TEXTO = f.read()


class Manejador(http.server.BaseHTTPRequestHandler):
    def responder(self, estado, cuerpo):
        datos = cuerpo.encode() if isinstance(cuerpo, str) else cuerpo
        self.send_response(estado)
        self.send_header("Content-Type", "text/plain; charset=utf-8")
        self.send_header("Content-Length", str(len(datos)))
        self.end_headers()
        self.wfile.write(datos)

    def do_GET(self):
        partes = urllib.parse.urlsplit(self.path).path.split("/")
        if len(partes) == 5 and partes[1:3] == ["api", "niveles"] and partes[4] == "texto":
            if partes[3] == ID:
                return self.responder(200, TEXTO)
            if partes[3] == OCULTO:
                return self.responder(410, "410 hidden level\n")
        self.responder(404, "404 unknown level\n")

    def do_POST(self):
        u = urllib.parse.urlsplit(self.path)
        partes = u.path.split("/")
        cuerpo = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if len(partes) != 5 or partes[1:3] != ["api", "niveles"] or partes[4] != "repeticiones":
            return self.responder(404, "404 not found\n")
        n = len([f for f in os.listdir(carpeta) if f.endswith(".frep")]) + 1
        ruta = os.path.join(carpeta, "%d.frep" % n)
        with open(ruta, "wb") as f:
            f.write(cuerpo)
        with open(os.path.join(carpeta, "%d.consulta" % n), "w") as f:
            f.write(u.query + "\n")
        if partes[3] != ID:
            return self.responder(404, "404 unknown level\n")
        r = subprocess.run([NIVELES, "repeticion", ruta, NIVEL], capture_output=True, text=True)
        campos = r.stdout.split()
        if r.returncode != 0 or campos[0] != "valida":
            return self.responder(422, "422 " + " ".join(r.stdout.splitlines()[1:] or [r.stderr.strip()]) + "\n")
        self.responder(200, "200 verified %s\n" % campos[campos.index("puntos") + 1])

    def log_message(self, *args):
        pass


servidor = http.server.HTTPServer(("127.0.0.1", 0), Manejador)
with open(puerto_fichero + ".tmp", "w") as f:
    f.write(str(servidor.server_address[1]))
os.rename(puerto_fichero + ".tmp", puerto_fichero)
servidor.serve_forever()
