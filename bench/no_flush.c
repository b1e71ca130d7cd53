/* What forcing to the disk costs: preloaded into the updater by bench/run,
   fsync and fdatasync return at once and flush nothing, so that the same run
   can be timed with and without them. */
int fsync(int fd) {
  (void)fd;
  return 0;
}

int fdatasync(int fd) {
  (void)fd;
  return 0;
}
