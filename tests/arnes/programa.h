// The whole program run in-process, from an empty folder holding only the
// five data files, through the same start-up, screens and shutdown as
// main(), with a scripted player and no real waiting between frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

// A working folder with links to the build's five data files; removed,
// with whatever the program wrote, when it goes.
struct carpeta_partida {
  std::filesystem::path ruta, anterior;
  carpeta_partida();
  ~carpeta_partida();
  std::vector<uint8_t> leer(const char *nombre) const;
};

// Runs main()'s sequence in the current folder (all but the frame clock):
// start-up, the black frames,
// cfg.dat, pnt.txt, the intro, the main menu until Exit, shutdown. `guion`
// sees every frame. Returns what main() would.
int ejecutar_programa(const std::function<void(int)> &guion, int max_fotogramas);
