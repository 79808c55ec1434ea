/* The floor of a process scan: list /proc and read each process's exe link,
   nothing else. Prints how many links it read. */
#include <ctype.h>
#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <unistd.h>

int main(void) {
  DIR* proc = opendir("/proc");
  if (proc == NULL) return 1;
  const int proc_fd = dirfd(proc);
  char link_name[sizeof(((struct dirent*)0)->d_name) + 8];
  char target[PATH_MAX];
  unsigned read_links = 0;
  for (const struct dirent* entry; (entry = readdir(proc)) != NULL;) {
    if (!isdigit((unsigned char)entry->d_name[0])) continue;
    snprintf(link_name, sizeof link_name, "%s/exe", entry->d_name);
    if (readlinkat(proc_fd, link_name, target, sizeof target) >= 0) ++read_links;
  }
  closedir(proc);
  printf("%u\n", read_links);
  return 0;
}
