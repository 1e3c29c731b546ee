/* Preloaded into the test pcscd: stands in for libudev, so that the test
 * plugs and unplugs USB readers by writing lines into a FIFO; and keeps the
 * TCP listeners of the drivers (vpcd) on the loopback interface.
 *
 * Environment, read inside pcscd:
 *   QARX_BED_FIFO     the control FIFO: lines "add ID PRODUCT SERIAL" and
 *                     "remove ID" (SERIAL "-" for none)
 *   QARX_BED_DEVICES  devices present at start: "ID PRODUCT SERIAL;..."
 * A device ID becomes the node "/qarx-bed/ID", which the card driver maps
 * to its card file. Vendor is always 1209; PRODUCT is four hex digits. */
#define _GNU_SOURCE
#include <arpa/inet.h>
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

enum { MAX_DEVICES = 32, FIELD = 64 };

struct device {
  int present;
  char id[FIELD];
  char product[8];
  char serial[FIELD];
};

/* pcscd sees an interface ("ID:1.0") whose parent is the USB device. */
struct udev_device {
  char sysname[FIELD + 8];
  char devnode[FIELD + 16];
  char product[8];
  char serial[FIELD];
  const char *action;
  struct udev_device *parent;
};

struct udev_list_entry {
  char name[FIELD + 16];
  struct udev_list_entry *next;
};

struct udev_enumerate {
  struct udev_list_entry entries[MAX_DEVICES];
};

struct udev {
  int unused;
};

struct udev_monitor {
  int fd;
};

static struct device devices[MAX_DEVICES];
static int devices_loaded;
static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;

/* "ID PRODUCT SERIAL" into d; 0 on success. */
static int parse_device(const char *text, struct device *d) {
  char id[FIELD], product[8], serial[FIELD] = "-";
  if (sscanf(text, " %63s %7s %63s", id, product, serial) < 2) return -1;
  memset(d, 0, sizeof *d);
  d->present = 1;
  snprintf(d->id, sizeof d->id, "%s", id);
  snprintf(d->product, sizeof d->product, "%s", product);
  snprintf(d->serial, sizeof d->serial, "%s", strcmp(serial, "-") ? serial : "");
  return 0;
}

static void load_devices(void) { /* lock held */
  if (devices_loaded) return;
  devices_loaded = 1;
  const char *list = getenv("QARX_BED_DEVICES");
  if (!list) return;
  char *copy = strdup(list), *save = NULL;
  int n = 0;
  for (char *item = strtok_r(copy, ";", &save); item && n < MAX_DEVICES; item = strtok_r(NULL, ";", &save))
    if (parse_device(item, &devices[n]) == 0) n++;
  free(copy);
}

static struct device *find_device(const char *id) { /* lock held */
  for (int i = 0; i < MAX_DEVICES; i++)
    if (devices[i].present && strcmp(devices[i].id, id) == 0) return &devices[i];
  return NULL;
}

static struct udev_device *new_interface(const struct device *d, const char *action) {
  struct udev_device *usb = calloc(1, sizeof *usb), *interface = calloc(1, sizeof *interface);
  snprintf(usb->sysname, sizeof usb->sysname, "%s", d->id);
  snprintf(usb->devnode, sizeof usb->devnode, "/qarx-bed/%s", d->id);
  snprintf(usb->product, sizeof usb->product, "%s", d->product);
  snprintf(usb->serial, sizeof usb->serial, "%s", d->serial);
  snprintf(interface->sysname, sizeof interface->sysname, "%s:1.0", d->id);
  interface->action = action;
  interface->parent = usb;
  return interface;
}

/* ---- libudev, as far as pcscd uses it ---- */

struct udev *udev_new(void) { return calloc(1, sizeof(struct udev)); }

struct udev *udev_unref(struct udev *udev) {
  free(udev);
  return NULL;
}

struct udev_enumerate *udev_enumerate_new(struct udev *udev) {
  (void)udev;
  return calloc(1, sizeof(struct udev_enumerate));
}

int udev_enumerate_add_match_subsystem(struct udev_enumerate *e, const char *subsystem) {
  (void)e;
  (void)subsystem;
  return 0;
}

int udev_enumerate_scan_devices(struct udev_enumerate *e) {
  pthread_mutex_lock(&lock);
  load_devices();
  struct udev_list_entry *last = NULL;
  int n = 0;
  for (int i = 0; i < MAX_DEVICES; i++) {
    if (!devices[i].present) continue;
    struct udev_list_entry *entry = &e->entries[n++];
    snprintf(entry->name, sizeof entry->name, "/sys/qarx-bed/%s", devices[i].id);
    entry->next = NULL;
    if (last) last->next = entry;
    last = entry;
  }
  pthread_mutex_unlock(&lock);
  return 0;
}

struct udev_list_entry *udev_enumerate_get_list_entry(struct udev_enumerate *e) {
  return e->entries[0].name[0] ? &e->entries[0] : NULL;
}

struct udev_enumerate *udev_enumerate_unref(struct udev_enumerate *e) {
  free(e);
  return NULL;
}

struct udev_list_entry *udev_list_entry_get_next(struct udev_list_entry *entry) { return entry->next; }

const char *udev_list_entry_get_name(struct udev_list_entry *entry) { return entry->name; }

struct udev_device *udev_device_new_from_syspath(struct udev *udev, const char *syspath) {
  (void)udev;
  const char *id = strrchr(syspath, '/');
  id = id ? id + 1 : syspath;
  pthread_mutex_lock(&lock);
  const struct device *d = find_device(id);
  struct udev_device *result = d ? new_interface(d, NULL) : NULL;
  pthread_mutex_unlock(&lock);
  return result;
}

struct udev_device *udev_device_unref(struct udev_device *dev) {
  if (dev) {
    free(dev->parent);
    free(dev);
  }
  return NULL;
}

struct udev_device *udev_device_get_parent_with_subsystem_devtype(struct udev_device *dev, const char *subsystem,
                                                                  const char *devtype) {
  (void)subsystem;
  (void)devtype;
  return dev ? dev->parent : NULL;
}

const char *udev_device_get_devnode(struct udev_device *dev) { return dev && dev->devnode[0] ? dev->devnode : NULL; }

const char *udev_device_get_sysname(struct udev_device *dev) { return dev ? dev->sysname : NULL; }

const char *udev_device_get_action(struct udev_device *dev) { return dev ? dev->action : NULL; }

const char *udev_device_get_sysattr_value(struct udev_device *dev, const char *name) {
  if (!dev || !name) return NULL;
  if (strcmp(name, "idVendor") == 0) return "1209";
  if (strcmp(name, "idProduct") == 0) return dev->product[0] ? dev->product : NULL;
  if (strcmp(name, "serial") == 0) return dev->serial[0] ? dev->serial : NULL;
  if (strcmp(name, "bInterfaceNumber") == 0) return "00";
  return NULL;
}

struct udev_monitor *udev_monitor_new_from_netlink(struct udev *udev, const char *name) {
  (void)udev;
  (void)name;
  struct udev_monitor *monitor = calloc(1, sizeof *monitor);
  const char *fifo = getenv("QARX_BED_FIFO");
  /* Read and write: the FIFO always has a writer, so it never reads as ended. */
  monitor->fd = fifo ? open(fifo, O_RDWR | O_NONBLOCK | O_CLOEXEC) : -1;
  if (monitor->fd < 0) fprintf(stderr, "fake_udev: cannot open %s: %s\n", fifo ? fifo : "(unset)", strerror(errno));
  return monitor;
}

int udev_monitor_filter_add_match_subsystem_devtype(struct udev_monitor *m, const char *s, const char *t) {
  (void)m;
  (void)s;
  (void)t;
  return 0;
}

int udev_monitor_enable_receiving(struct udev_monitor *m) {
  (void)m;
  return 0;
}

int udev_monitor_get_fd(struct udev_monitor *m) { return m->fd; }

/* One line per call: the FIFO stays readable while lines wait. */
struct udev_device *udev_monitor_receive_device(struct udev_monitor *m) {
  char line[256];
  size_t n = 0;
  while (n + 1 < sizeof line) {
    char c;
    ssize_t r = read(m->fd, &c, 1);
    if (r == 1 && c != '\n') {
      line[n++] = c;
      continue;
    }
    if (r == 1 || n > 0 || (r < 0 && errno == EINTR)) break;
    return NULL; /* nothing there */
  }
  line[n] = '\0';

  struct udev_device *result = NULL;
  pthread_mutex_lock(&lock);
  load_devices();
  struct device d;
  if (strncmp(line, "add ", 4) == 0 && parse_device(line + 4, &d) == 0 && !find_device(d.id)) {
    for (int i = 0; i < MAX_DEVICES; i++)
      if (!devices[i].present) {
        devices[i] = d;
        result = new_interface(&d, "add");
        break;
      }
  } else if (strncmp(line, "remove ", 7) == 0) {
    char id[FIELD];
    struct device *known = sscanf(line + 7, " %63s", id) == 1 ? find_device(id) : NULL;
    if (known) {
      result = new_interface(known, "remove");
      known->present = 0;
    }
  }
  pthread_mutex_unlock(&lock);
  if (!result) fprintf(stderr, "fake_udev: ignored \"%s\"\n", line);
  return result;
}

/* ---- listeners on loopback only: vpcd binds to every interface ---- */

int bind(int fd, const struct sockaddr *address, socklen_t length) {
  static int (*real_bind)(int, const struct sockaddr *, socklen_t);
  if (!real_bind) real_bind = (int (*)(int, const struct sockaddr *, socklen_t))dlsym(RTLD_NEXT, "bind");
  if (address && address->sa_family == AF_INET && length >= sizeof(struct sockaddr_in)) {
    struct sockaddr_in v4;
    memcpy(&v4, address, sizeof v4);
    if (v4.sin_addr.s_addr == htonl(INADDR_ANY)) v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return real_bind(fd, (const struct sockaddr *)&v4, sizeof v4);
  }
  if (address && address->sa_family == AF_INET6 && length >= sizeof(struct sockaddr_in6)) {
    struct sockaddr_in6 v6;
    memcpy(&v6, address, sizeof v6);
    if (memcmp(&v6.sin6_addr, &in6addr_any, sizeof v6.sin6_addr) == 0) v6.sin6_addr = in6addr_loopback;
    return real_bind(fd, (const struct sockaddr *)&v6, sizeof v6);
  }
  return real_bind(fd, address, length);
}
