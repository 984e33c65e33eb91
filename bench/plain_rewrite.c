/* plain_rewrite.c: the plain I/O that a retag run over a library cannot do
 * without, as the baseline of bench/retag_bench.sh.
 *
 *   plain_rewrite [-s | -r] SYM_DIR
 *
 * For every file of SYM_DIR whose name has a numeric extension, in name
 * order: read it whole, write its backup NAME.N.bac (through a temporary
 * file and a rename, as the save does), take a lock file
 * SYM_DIR/lock/NAME.N with an exclusive create and write an owner text into
 * it, write the content with one byte changed into a temporary file of the
 * same directory and rename it over the file, and remove the lock. Prints
 * the number of files rewritten; exits 1 at the first failure. With -s each
 * new file (backup and content) is flushed to the disk before its rename and
 * the directory after it, the durability a crash-safe save pays for. With -r
 * it only reads every file whole: the least a rerun that changes nothing
 * must do. */
#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static int numbered(const char *name) {
  const char *dot = strrchr(name, '.');
  if (dot == NULL || dot == name || dot[1] == '\0')
    return 0;
  for (const char *c = dot + 1; *c != '\0'; ++c)
    if (!isdigit((unsigned char)*c))
      return 0;
  return 1;
}

static int byName(const void *a, const void *b) {
  return strcmp(*(char *const *)a, *(char *const *)b);
}

static int syncing, readOnly;

static void syncDir(const char *dir) {
  int fd = open(dir, O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

static int writeAll(const char *path, int flags, const char *data, size_t size) {
  int fd = open(path, flags, 0644);
  if (fd < 0)
    return -1;
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
    if (n < 0) {
      close(fd);
      return -1;
    }
    done += (size_t)n;
  }
  if (syncing && (flags & O_EXCL) && strstr(path, ".tmp") != NULL && fsync(fd) != 0) {
    close(fd);
    return -1;
  }
  return close(fd);
}

static void fail(const char *what, const char *path) {
  fprintf(stderr, "plain_rewrite: %s %s: %s\n", what, path, strerror(errno));
  exit(1);
}

int main(int argc, char **argv) {
  if (argc == 3 && (strcmp(argv[1], "-s") == 0 || strcmp(argv[1], "-r") == 0)) {
    syncing = argv[1][1] == 's';
    readOnly = argv[1][1] == 'r';
    ++argv;
    --argc;
  }
  if (argc != 2) {
    fprintf(stderr, "usage: plain_rewrite [-s | -r] SYM_DIR\n");
    return 2;
  }
  const char *dir = argv[1];
  DIR *d = opendir(dir);
  if (d == NULL)
    fail("cannot list", dir);
  size_t count = 0, capacity = 1024;
  char **names = malloc(capacity * sizeof *names);
  for (struct dirent *e; (e = readdir(d)) != NULL;) {
    if (!numbered(e->d_name))
      continue;
    if (count == capacity)
      names = realloc(names, (capacity *= 2) * sizeof *names);
    names[count++] = strdup(e->d_name);
  }
  closedir(d);
  qsort(names, count, sizeof *names, byName);

  char lockDir[PATH_MAX];
  snprintf(lockDir, sizeof lockDir, "%s/lock", dir);
  if (mkdir(lockDir, 0755) != 0 && errno != EEXIST)
    fail("cannot make", lockDir);

  char path[PATH_MAX], backup[PATH_MAX], lock[PATH_MAX], temp[PATH_MAX];
  char owner[256];
  int ownerSize = snprintf(owner, sizeof owner, "State: 0\nOwner: %d\nProcId: %d\n",
                           (int)getuid(), (int)getpid());
  for (size_t i = 0; i < count; ++i) {
    snprintf(path, sizeof path, "%s/%s", dir, names[i]);
    snprintf(backup, sizeof backup, "%s.bac", path);
    snprintf(lock, sizeof lock, "%s/%s", lockDir, names[i]);
    snprintf(temp, sizeof temp, "%s/.%s.tmp", dir, names[i]);
    char backupTemp[PATH_MAX];
    snprintf(backupTemp, sizeof backupTemp, "%s/.%s.bac.tmp", dir, names[i]);

    FILE *in = fopen(path, "r");
    if (in == NULL)
      fail("cannot read", path);
    struct stat st;
    fstat(fileno(in), &st);
    char *data = malloc((size_t)st.st_size + 1);
    size_t size = fread(data, 1, (size_t)st.st_size, in);
    fclose(in);
    if (readOnly) {
      free(data);
      free(names[i]);
      continue;
    }

    if (writeAll(backupTemp, O_WRONLY | O_CREAT | O_EXCL, data, size) != 0 ||
        rename(backupTemp, backup) != 0)
      fail("cannot back up", path);
    if (syncing)
      syncDir(dir);
    if (writeAll(lock, O_WRONLY | O_CREAT | O_EXCL, owner, (size_t)ownerSize) != 0)
      fail("cannot lock", path);
    if (size > 0)
      data[size / 2] = data[size / 2] == '?' ? '!' : '?';
    if (writeAll(temp, O_WRONLY | O_CREAT | O_EXCL, data, size) != 0 || rename(temp, path) != 0)
      fail("cannot rewrite", path);
    if (syncing)
      syncDir(dir);
    if (unlink(lock) != 0)
      fail("cannot unlock", path);
    free(data);
    free(names[i]);
  }
  free(names);
  printf("%zu files %s\n", count, readOnly ? "read" : "rewritten");
  return 0;
}
