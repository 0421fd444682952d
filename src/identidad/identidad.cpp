// Names folded, the message an upload signs, and signatures checked.
#include "identidad/identidad.h"

#include <sodium.h>

#include <cstring>
#include <vector>

const char *const CABECERA_CLAVE = "Fotonauta-Clave";
const char *const CABECERA_FIRMA = "Fotonauta-Firma";

std::string latin1_a_utf8(const std::string &s)
{
  std::string u;
  for (const char c : s) {
    const auto b = static_cast<uint8_t>(c);
    if (b < 0x80) {
      u += c;
    } else {
      u += static_cast<char>(0xC0 | (b >> 6));
      u += static_cast<char>(0x80 | (b & 0x3F));
    }
  }
  return u;
}

namespace {

// What each ISO 8859-1 character from 0xA0 up folds to: "" removed (the
// invisible blanks), null kept as it is (the signs, which do not look
// like letters). Letters lose their accents and case; the marks that look
// like small letters or digits become them.
const char *const PLEGADO_ALTO[96] = {
    "",      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,  // A0-A7
    nullptr, nullptr, "a",     nullptr, nullptr, "",      nullptr, nullptr,  // A8-AF
    nullptr, nullptr, "2",     "3",     nullptr, nullptr, nullptr, nullptr,  // B0-B7
    nullptr, "l",     "o",     nullptr, nullptr, nullptr, nullptr, nullptr,  // B8-BF
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",    // C0-CF
    "d", "n", "o", "o", "o", "o", "o",  nullptr, "o", "u", "u", "u", "u", "y", "th", "ss",  // D0-DF
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i",  "i",    // E0-EF
    "d", "n", "o", "o", "o", "o", "o",  nullptr, "o", "u", "u", "u", "u", "y", "th", "y",   // F0-FF
};

int valor_hex(char c)
{
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool de_hex(const std::string &t, std::vector<uint8_t> &bytes)
{
  bytes.resize(t.size() / 2);
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<uint8_t>(valor_hex(t[2 * i]) * 16 + valor_hex(t[2 * i + 1]));
  }
  return true;
}

}  // namespace

bool es_hex(const std::string &t, size_t bytes)
{
  if (t.size() != 2 * bytes) {
    return false;
  }
  for (const char c : t) {
    if (valor_hex(c) < 0) {
      return false;
    }
  }
  return true;
}

std::string plegar_nombre(const std::string &utf8)
{
  std::string p;
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto b = static_cast<uint8_t>(utf8[i]);
    // Two-byte UTF-8 of U+0080 to U+00FF: the Latin-1 character.
    if ((b == 0xC2 || b == 0xC3) && i + 1 < utf8.size()) {
      b = static_cast<uint8_t>(((b & 0x03) << 6) | (static_cast<uint8_t>(utf8[++i]) & 0x3F));
    }
    if (b >= 0xA0) {
      const char *plegado = PLEGADO_ALTO[b - 0xA0];
      p += plegado != nullptr ? std::string(plegado) : latin1_a_utf8(std::string(1, static_cast<char>(b)));
    } else if (b == ' ' || b < 0x20 || (b >= 0x7F && b < 0xA0)) {
      // Blanks and control characters: nothing.
    } else if (b >= 'A' && b <= 'Z') {
      p += static_cast<char>(b - 'A' + 'a');
    } else if (b == '0') {
      p += 'o';
    } else if (b == '1') {
      p += 'l';
    } else {
      p += static_cast<char>(b);
    }
  }
  return p;
}

std::string mensaje_firmado(const std::string &ruta, const std::string &nombre, const std::string &cuerpo)
{
  return "fotonauta firma 1\n" + ruta + "\n" + nombre + "\n" + cuerpo;
}

bool firma_valida(const std::string &clave_hex, const std::string &firma_hex, const std::string &mensaje)
{
  if (!es_hex(clave_hex, BYTES_CLAVE_PUBLICA) || !es_hex(firma_hex, BYTES_FIRMA) || sodium_init() < 0) {
    return false;
  }
  std::vector<uint8_t> clave, firma;
  de_hex(clave_hex, clave);
  de_hex(firma_hex, firma);
  return crypto_sign_verify_detached(firma.data(), reinterpret_cast<const unsigned char *>(mensaje.data()),
                                     mensaje.size(), clave.data()) == 0;
}
