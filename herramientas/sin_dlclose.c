/* Loaded into every program herramientas/sanear runs (LD_PRELOAD): shared
   libraries are never unloaded. Allegro unloads its driver modules, and
   with them ALSA, in allegro_exit, before the leak checker looks at
   memory: what their globals still held then looks lost, with stacks into
   unmapped code that no suppression can name, and symbolising thousands
   of such stacks took the program a minute to exit. Kept loaded, their
   memory stays reachable and only real leaks are reported. */
int dlclose(void *modulo)
{
  (void)modulo;
  return 0;
}
