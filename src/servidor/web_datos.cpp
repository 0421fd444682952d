// The pages' files as the build made them, put into the program by the
// assembler (each path comes from the build as a macro): the scripts and
// style of src/servidor/web, the game's module for WebAssembly and its
// art, and these two gzipped as the build packed them. Megabytes of art as C++ arrays would cost the compiler minutes.
#include <cstdint>

#define INCRUSTAR(simbolo, ruta)                                                                      \
  asm(".section .rodata\n.global " #simbolo "\n.global " #simbolo "_fin\n.balign 16\n" #simbolo ":\n" \
      ".incbin \"" ruta "\"\n" #simbolo "_fin:\n.byte 0\n.previous\n")

INCRUSTAR(web_comun_js, WEB_COMUN_JS);
INCRUSTAR(web_ver_js, WEB_VER_JS);
INCRUSTAR(web_jugar_js, WEB_JUGAR_JS);
INCRUSTAR(web_visor_css, WEB_VISOR_CSS);
INCRUSTAR(web_modulo_wasm, WEB_MODULO_WASM);
INCRUSTAR(web_grf_dat, WEB_GRF_DAT);
INCRUSTAR(web_fuentes_dat, WEB_FUENTES_DAT);
INCRUSTAR(web_snd_dat, WEB_SND_DAT);
INCRUSTAR(web_modulo_wasm_gz, WEB_MODULO_WASM_GZ);
INCRUSTAR(web_grf_dat_gz, WEB_GRF_DAT_GZ);
INCRUSTAR(web_fuentes_dat_gz, WEB_FUENTES_DAT_GZ);
INCRUSTAR(web_snd_dat_gz, WEB_SND_DAT_GZ);
