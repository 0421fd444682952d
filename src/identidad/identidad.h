// identidad: who sends a game. A player's name is claimed by a key pair
// (Ed25519, libsodium): the game keeps one per player and signs what it
// sends; the score server binds a name to the key of its first verified
// claim and refuses the name from any other key. Names are compared
// folded, so that names that only look alike are one name.
//
// The bytes signed (docs/servidor.md, "Names and keys") are what any
// Ed25519 signer makes of them, Web Crypto's included:
//
//   "fotonauta firma 1\n" PATH "\n" NAME "\n" BODY
//
// PATH the request's path without its query ("/api/repeticiones",
// "/api/niveles", "/api/niveles/ID/repeticiones"), NAME the player's name
// in UTF-8 without its trailing blanks, BODY the request's body as sent.
// The key and the signature go as lower-case hex in the headers
// Fotonauta-Clave and Fotonauta-Firma.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr size_t BYTES_CLAVE_PUBLICA = 32;
constexpr size_t BYTES_FIRMA = 64;
extern const char *const CABECERA_CLAVE;  // "Fotonauta-Clave"
extern const char *const CABECERA_FIRMA;  // "Fotonauta-Firma"

// ISO 8859-1 bytes as UTF-8.
std::string latin1_a_utf8(const std::string &s);

// A name as names are compared: UTF-8 read as ISO 8859-1 letters, then
// every blank (spaces, no-break spaces, soft hyphens) removed, letters in
// lower case, accented letters as their base letter (ß as ss, æ as ae, þ
// as th), ª º ¹ ² ³ as a o 1 2 3, and the look-alike digits 0 and 1 as o
// and l. Empty when nothing is left.
std::string plegar_nombre(const std::string &utf8);

// The message signed for an upload to `ruta` by `nombre` (UTF-8, trailing
// blanks already removed) with body `cuerpo`.
std::string mensaje_firmado(const std::string &ruta, const std::string &nombre, const std::string &cuerpo);

// Whether `firma_hex` is the signature of `mensaje` by `clave_hex` (both
// lower-case hex of BYTES_FIRMA and BYTES_CLAVE_PUBLICA bytes). False for
// anything that is not.
bool firma_valida(const std::string &clave_hex, const std::string &firma_hex, const std::string &mensaje);

// Whether `t` is exactly `bytes` bytes in lower-case hex.
bool es_hex(const std::string &t, size_t bytes);

// ---------------------------------------------------------------------------
// The game's keys
// ---------------------------------------------------------------------------
//
// The players' keys live in one file, $XDG_DATA_HOME/fotonauta/claves
// (~/.local/share/fotonauta/claves when the variable is unset or not an
// absolute path): a first line "fotonauta claves 1", then one line per
// player, the key's 32-byte seed in hex, a tab, and the name that made it
// (UTF-8). A player is found by the folded name. The file is written new
// and renamed over the old one, mode 0600, under a lock on its folder.
// A damaged file is never replaced: a new key would lose every name it
// holds, so nothing is signed until the player mends or moves it.

// The key file's path; empty when neither XDG_DATA_HOME nor HOME is an
// absolute path.
std::string ruta_claves();

// The signature of an upload to `ruta` of `cuerpo` by player `nombre`
// (ISO 8859-1 as the game keeps it, trailing blanks allowed): the player's
// key, made and kept on first use, and the signature, both in hex; the
// name signed is `nombre` as the server reads it. False, with a sentence
// that says why, when the key file cannot be read (damaged), made or
// written, or the name folds to nothing.
bool firmar_envio(const std::string &nombre, const std::string &ruta, const std::string &cuerpo,
                  std::string &clave_hex, std::string &firma_hex, std::string &error);
