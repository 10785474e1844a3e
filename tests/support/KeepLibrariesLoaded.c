/* Preloaded into the sanitized test runs only: dlclose that never unloads. GL drivers are unloaded
   when their display closes, and LeakSanitizer, which reports at exit, could then no longer name
   the library a leak of theirs came from, nor match it against tests/sanitize.supp. */
int dlclose(void* Handle) {
  (void)Handle;
  return 0;
}
