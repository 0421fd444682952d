"""A score server for the upload test: answers every GET with 200 and logs
the raw request (request line and headers, as received) to a file, one
request after another, so the test can check exactly what the game sent.

    python3 servidor_puntos.py PORT LOG READY_FILE
"""
import socket
import sys
import threading

puerto, registro, listo = int(sys.argv[1]), sys.argv[2], sys.argv[3]
cerrojo = threading.Lock()


def atender(conexion):
    with conexion:
        conexion.settimeout(10)
        datos = b""
        try:
            while b"\r\n\r\n" not in datos:
                trozo = conexion.recv(4096)
                if not trozo:
                    break
                datos += trozo
        except OSError:
            pass
        if not datos:
            return
        cabecera = datos.split(b"\r\n\r\n", 1)[0]
        with cerrojo, open(registro, "ab") as f:
            # Latin-1 keeps every byte as it came; one blank line ends it.
            f.write(cabecera + b"\r\n\r\n")
        conexion.sendall(b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n"
                         b"Content-Length: 3\r\nConnection: close\r\n\r\nok\n")


servidor = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
servidor.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
servidor.bind(("127.0.0.1", puerto))
servidor.listen(8)
open(listo, "w").close()
while True:
    c, _ = servidor.accept()
    threading.Thread(target=atender, args=(c,), daemon=True).start()
