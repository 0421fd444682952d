// Per-address limits on what the server takes: how many posts an address
// may make in a period, the same code for the levels' posts and for the
// recordings. Kept in memory, per server process.
#include "servidor/servidor.h"

#include <deque>
#include <unordered_map>

uint64_t hash_direccion(const std::string &direccion)
{
  uint64_t h = 0xcbf29ce484222325ULL;
  for (const char c : direccion) {
    h ^= static_cast<uint8_t>(c);
    h *= 0x100000001b3ULL;
  }
  return h;
}

struct limite_direcciones {
  int por_periodo;
  int64_t periodo_s;
  std::mutex cerrojo;
  // For each address (hashed), the times of its posts in the last period;
  // addresses whose posts have all expired are dropped as the map is swept.
  std::unordered_map<uint64_t, std::deque<int64_t>> envios;
  int64_t barrido = 0;
};

limite_direcciones *crear_limite(int por_periodo, int64_t periodo_s)
{
  auto *l = new limite_direcciones{por_periodo, periodo_s, {}, {}, 0};
  return l;
}

void cambiar_limite(limite_direcciones *l, int por_periodo)
{
  std::lock_guard<std::mutex> b(l->cerrojo);
  l->por_periodo = por_periodo;
}

int limite_por_periodo(limite_direcciones *l)
{
  std::lock_guard<std::mutex> b(l->cerrojo);
  return l->por_periodo;
}

int64_t admitir_envio(limite_direcciones *l, const std::string &direccion, int64_t ahora)
{
  const uint64_t clave = hash_direccion(direccion);
  std::lock_guard<std::mutex> b(l->cerrojo);
  if (ahora - l->barrido > l->periodo_s) {
    l->barrido = ahora;
    for (auto x = l->envios.begin(); x != l->envios.end();) {
      x = !x->second.empty() && x->second.back() > ahora - l->periodo_s ? std::next(x) : l->envios.erase(x);
    }
  }
  std::deque<int64_t> &v = l->envios[clave];
  while (!v.empty() && v.front() <= ahora - l->periodo_s) {
    v.pop_front();
  }
  if (static_cast<int>(v.size()) >= l->por_periodo) {
    // The oldest post in the period leaves it then.
    return v.empty() ? l->periodo_s : std::max<int64_t>(v.front() + l->periodo_s - ahora, 1);
  }
  v.push_back(ahora);
  return 0;
}
