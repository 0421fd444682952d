// The sound driver's calls for the soak, as on a machine without a sound
// device: install_sound fails (in process there is no display, and the
// real call would crash without one) and voices come from a small pool,
// every one already finished playing, so the game's slots are taken and
// reclaimed all the time.
#include <allegro.h>

#include <array>

namespace {
std::array<bool, 32> ocupada{};
}  // namespace

extern "C" {

void __wrap_reserve_voices(int, int) {}

int __wrap_install_sound(int, int, const char *)
{
  return -1;
}

int __wrap_allocate_voice(const SAMPLE *)
{
  for (size_t i = 0; i < ocupada.size(); ++i) {
    if (!ocupada[i]) {
      ocupada[i] = true;
      return static_cast<int>(i);
    }
  }
  return -1;
}

void __wrap_deallocate_voice(int v)
{
  // A voice freed twice, or never given, is the game's fault.
  if (v < 0 || v >= static_cast<int>(ocupada.size()) || !ocupada[static_cast<size_t>(v)]) {
    abort();
  }
  ocupada[static_cast<size_t>(v)] = false;
}

void __wrap_voice_start(int) {}
void __wrap_voice_stop(int) {}
void __wrap_voice_set_volume(int, int) {}
void __wrap_voice_set_playmode(int, int) {}
int __wrap_voice_get_position(int)
{
  return -1;
}
void __wrap_voice_set_position(int, int) {}

}  // extern "C"
