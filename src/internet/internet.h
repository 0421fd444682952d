// internet: the HTTP client that uploads the high-score table.
//
// inet_connect opens a connection to the score server, inet_sendscore sends
// one row over it as an HTTP/1.0 GET, inet_sendreplay the recording of a
// row's game as a POST, inet_sendlevel a level and its winning recording
// as a POST, inet_getlevel fetches a community level and
// inet_sendlevelreplay sends a run of one, and inet_close releases
// everything.
// Every call is bounded in time, so a server that never answers ends in an
// error instead of a frozen game.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Results of inet_connect and inet_sendscore.
constexpr int32_t INET_CORRECTO = 0;
constexpr int32_t INET_SIN_CLIENTE = 1;    // the HTTP client could not start
constexpr int32_t INET_SIN_CONEXION = 2;   // the server could not be reached
constexpr int32_t INET_SIN_PETICION = 3;   // the request could not be made
constexpr int32_t INET_ENVIO_FALLIDO = 4;  // the request did not go through
constexpr int32_t INET_SIN_FIRMA = 5;      // the upload could not be signed (the reason in `respuesta`)

// Limits on the calls, in milliseconds.
constexpr int32_t INET_ESPERA_CONEXION = 10000;
constexpr int32_t INET_ESPERA_PETICION = 20000;

constexpr int32_t INET_PUERTO = 80;

// Connects to `servidor`: a host name or address, with ":port" after it
// to use another port than INET_PUERTO ("[address]:port" for IPv6).
// Anything left from an earlier upload is released first; on failure
// nothing stays open.
int32_t inet_connect(const char *servidor);

// Sends GET /highscore.php?yourname=<nombre>&code=<codigo>. The name is
// percent-encoded here; the code must come already escaped. The reply is
// read to its end: anything but 2xx is a failure, its first line kept for
// inet_motivo.
int32_t inet_sendscore(const char *nombre, const char *codigo);

// Sends POST /api/repeticiones?yourname=<nombre>&code=<codigo> with the
// `n` bytes of a recording as its body, the name and code as for
// inet_sendscore, signed by the player's key (identidad.h: made on the
// player's first upload). INET_CORRECTO when the server answered 2xx;
// otherwise a failure, with the server's status and the first line of its
// answer in `respuesta` when it gave one, or INET_SIN_FIRMA and why (a
// damaged key file: nothing is sent) before anything is sent. The level
// uploads below are signed the same way.
int32_t inet_sendreplay(const char *nombre, const char *codigo, const uint8_t *datos, size_t n,
                        std::string &respuesta);

// Sends POST /api/niveles?yourname=<nombre>&nivel=<bytes of texto> with
// the level's text followed by the `n` bytes of a recording that wins it,
// the name as for inet_sendscore. As inet_sendreplay: INET_CORRECTO on a
// 2xx, the server's status and first line in `respuesta` when it answered
// ("201 published ID", "409 already published ID", "422 why not").
int32_t inet_sendlevel(const char *nombre, const std::string &texto, const uint8_t *datos, size_t n,
                       std::string &respuesta);

// The most bytes a level's text may have.
constexpr size_t INET_MAX_NIVEL = 16384;

// Sends GET /api/niveles/<id>/texto, a community level's text.
// INET_CORRECTO when the server answered, whatever it said: `estado` is
// its status (413 for a body past INET_MAX_NIVEL) and `texto` its body,
// the level or a reason. Otherwise the server was not reached or did not
// answer in time.
int32_t inet_getlevel(const char *id, std::string &texto, long &estado);

// Sends POST /api/niveles/<id>/repeticiones?yourname=<nombre> with the `n`
// bytes of a recording of that level played alone, the name escaped here.
// Answers as inet_sendreplay.
int32_t inet_sendlevelreplay(const char *id, const char *nombre, const uint8_t *datos, size_t n,
                             std::string &respuesta);

void inet_close();

// Why the last call that failed did, in one line of plain English that
// names the server as it was given ("host:port"): the HTTP library
// missing, a name that does not resolve, a connection refused, a time-out
// and its length, or the server's refusal with its status and the first
// line of its words. Set by the call that failed, kept past inet_close,
// cleared by inet_connect.
const std::string &inet_motivo();

// The score server, as a host name with an optional ":port": the
// FOTONAUTA_SERVIDOR environment variable when set and not empty, else the
// build's, so an installed game can be sent to another server without
// being built again. Scores go there, and the editor publishes levels
// there.
const char *servidor_puntuaciones();

#ifdef FOTONAUTA_PRUEBAS
// Test builds only: the port and the time limits the client uses, so tests
// can talk to their own server and keep their waits short.
extern int32_t prueba_inet_puerto;
extern int32_t prueba_inet_espera_conexion;
extern int32_t prueba_inet_espera_peticion;
// The HTTP library's file name, opened on the first upload after a call of
// prueba_inet_olvidar_libcurl (which forgets it without closing it).
extern const char *prueba_inet_libcurl;
void prueba_inet_olvidar_libcurl();
// When set, servidor_puntuaciones gives this host instead.
extern const char *prueba_servidor;
#endif
