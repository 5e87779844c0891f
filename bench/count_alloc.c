/*
 * Counts heap allocations by the code that asks for them. Preloaded into
 * a program (LD_PRELOAD), it stands in for malloc, calloc, realloc, the
 * aligned forms, free and the plain C++ operators new and delete. Each
 * call is charged by its stack: to the main program's own code when the
 * main program called the allocator itself, else to the library function
 * that the main program called and that allocated on its behalf (fdopen,
 * getpwnam, ...), else (no frame of the main program on the stack: start-
 * up and exit) to the object that called the allocator. At exit the
 * process it was loaded into appends to the file named by COUNT_ALLOC_OUT,
 * unless it is a forked child, or COUNT_ALLOC_PROGRAM is set and names
 * another program (the preload is inherited by every program run):
 *
 *	direct PROGRAM+0xOFFSET KIND COUNT	(one line per call site)
 *	via OBJECT:FUNCTION KIND COUNT
 *	outside OBJECT KIND COUNT
 *	free - free COUNT
 *
 * The calls are served by the C library's own allocator.
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

extern void *__libc_malloc(size_t);
extern void *__libc_calloc(size_t, size_t);
extern void *__libc_realloc(void *, size_t);
extern void *__libc_memalign(size_t, size_t);
extern void __libc_free(void *);

enum kind { K_MALLOC, K_CALLOC, K_REALLOC, K_ALIGNED, K_NEW, K_KINDS };
static const char *const kind_name[K_KINDS] = {
	"malloc", "calloc", "realloc", "aligned", "new"
};

/* Charged places, open addressing on an address: the call site for a
 * direct call, the return address inside the library function for a call
 * on the main program's behalf, the allocator's caller otherwise. */
enum how { DIRECT, VIA, OUTSIDE };
#define SITES 4096
static struct site {
	uintptr_t addr;
	enum how how;
	unsigned long count[K_KINDS];
} sites[SITES];
static unsigned long frees, overflow;
static pid_t owner;
static int busy;	/* inside count() or the dump: allocations are ours */
static uintptr_t main_lo, main_hi;

static int
in_main(uintptr_t a)
{
	return a >= main_lo && a < main_hi;
}

static void
charge(uintptr_t a, enum how how, enum kind k)
{
	size_t i = (a >> 2) % SITES;

	for (size_t n = 0; n < SITES; n++, i = (i + 1) % SITES) {
		if (sites[i].addr == a || sites[i].addr == 0) {
			sites[i].addr = a;
			sites[i].how = how;
			sites[i].count[k]++;
			return;
		}
	}
	overflow++;
}

/* ret: the allocator's caller. */
static void
count(void *ret, enum kind k)
{
	void *frames[64];
	int n, i;

	if (busy)
		return;
	busy = 1;
	if (in_main((uintptr_t)ret)) {
		charge((uintptr_t)ret, DIRECT, k);
		busy = 0;
		return;
	}
	/* frames[0] is in count(), frames[1] in the allocator, frames[2] its
	 * caller; the innermost main program frame below them names the call
	 * that led here, and the frame just inside it the function called. */
	n = backtrace(frames, 64);
	for (i = 3; i < n && !in_main((uintptr_t)frames[i]); i++)
		;
	if (i < n)
		charge((uintptr_t)frames[i - 1], VIA, k);
	else
		charge((uintptr_t)ret, OUTSIDE, k);
	busy = 0;
}

void *
malloc(size_t n)
{
	count(__builtin_return_address(0), K_MALLOC);
	return __libc_malloc(n);
}

void *
calloc(size_t n, size_t size)
{
	count(__builtin_return_address(0), K_CALLOC);
	return __libc_calloc(n, size);
}

void *
realloc(void *p, size_t n)
{
	count(__builtin_return_address(0), K_REALLOC);
	return __libc_realloc(p, n);
}

void *
memalign(size_t align, size_t n)
{
	count(__builtin_return_address(0), K_ALIGNED);
	return __libc_memalign(align, n);
}

void *
aligned_alloc(size_t align, size_t n)
{
	count(__builtin_return_address(0), K_ALIGNED);
	return __libc_memalign(align, n);
}

int
posix_memalign(void **out, size_t align, size_t n)
{
	void *p;

	count(__builtin_return_address(0), K_ALIGNED);
	if (align < sizeof(void *) || (align & (align - 1)) != 0)
		return EINVAL;
	if ((p = __libc_memalign(align, n)) == NULL)
		return ENOMEM;
	*out = p;
	return 0;
}

void
free(void *p)
{
	if (p != NULL && !busy)
		frees++;
	__libc_free(p);
}

/* operator new(size_t), new[](size_t), and the plain and sized deletes:
 * counted under the C++ caller, not under the C++ library. */
static void *
cxx_new(void *ret, size_t n)
{
	void *p;

	count(ret, K_NEW);
	if ((p = __libc_malloc(n != 0 ? n : 1)) == NULL)
		abort();
	return p;
}

void *_Znwm(size_t n) { return cxx_new(__builtin_return_address(0), n); }
void *_Znam(size_t n) { return cxx_new(__builtin_return_address(0), n); }
void _ZdlPv(void *p) { free(p); }
void _ZdaPv(void *p) { free(p); }
void _ZdlPvm(void *p, size_t n) { (void)n; free(p); }
void _ZdaPvm(void *p, size_t n) { (void)n; free(p); }

/* The address range of the main program's loaded segments. */
static int
find_main(struct dl_phdr_info *info, size_t size, void *data)
{
	(void)size;
	(void)data;
	for (int i = 0; i < info->dlpi_phnum; i++) {
		const ElfW(Phdr) *ph = &info->dlpi_phdr[i];
		uintptr_t lo = info->dlpi_addr + ph->p_vaddr;

		if (ph->p_type != PT_LOAD)
			continue;
		if (main_lo == 0 || lo < main_lo)
			main_lo = lo;
		if (lo + ph->p_memsz > main_hi)
			main_hi = lo + ph->p_memsz;
	}
	return 1;	/* the first object is the main program */
}

__attribute__((constructor)) static void
start(void)
{
	void *frame[1];

	owner = getpid();
	dl_iterate_phdr(find_main, NULL);
	/* The first backtrace loads the unwinder, which allocates. */
	busy = 1;
	backtrace(frame, 1);
	busy = 0;
}

static const char *
base(const char *path)
{
	const char *slash = strrchr(path, '/');

	return slash != NULL ? slash + 1 : path;
}

/* OBJECT (file name) and, with sym, OBJECT:FUNCTION of an address. */
static void
describe(uintptr_t a, int sym, char *buf, size_t size, uintptr_t *offset)
{
	Dl_info info;

	*offset = a;
	if (dladdr((void *)a, &info) == 0 || info.dli_fname == NULL) {
		snprintf(buf, size, "?");
		return;
	}
	*offset = a - (uintptr_t)info.dli_fbase;
	const char *name = info.dli_fname[0] != '\0' ? base(info.dli_fname)
	    : base(program_invocation_name);
	if (sym)
		snprintf(buf, size, "%s:%s", name,
		    info.dli_sname != NULL ? info.dli_sname : "?");
	else
		snprintf(buf, size, "%s", name);
}

__attribute__((destructor)) static void
dump(void)
{
	/* Per place and kind, summed here in a small table. */
	static struct line {
		char key[256];
		unsigned long count[K_KINDS];
	} lines[512];
	static const char *const how_name[] = { "direct", "via", "outside" };
	size_t nlines = 0;
	const char *path = getenv("COUNT_ALLOC_OUT");
	const char *only = getenv("COUNT_ALLOC_PROGRAM");
	FILE *out;

	if (path == NULL || getpid() != owner)
		return;
	if (only != NULL && strcmp(only, program_invocation_short_name) != 0)
		return;
	busy = 1;
	int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
	if (fd == -1 || (out = fdopen(fd, "a")) == NULL)
		return;
	for (size_t i = 0; i < SITES; i++) {
		char place[200], key[256];
		uintptr_t off;
		size_t j;

		if (sites[i].addr == 0)
			continue;
		describe(sites[i].addr, sites[i].how == VIA, place, sizeof(place), &off);
		if (sites[i].how == DIRECT)
			snprintf(key, sizeof(key), "direct %s+0x%lx", place, (unsigned long)off);
		else
			snprintf(key, sizeof(key), "%s %s", how_name[sites[i].how], place);
		for (j = 0; j < nlines && strcmp(lines[j].key, key) != 0; j++)
			;
		if (j == nlines) {
			if (nlines == sizeof(lines) / sizeof(lines[0])) {
				overflow++;
				continue;
			}
			snprintf(lines[nlines++].key, sizeof(lines[0].key), "%s", key);
		}
		for (int k = 0; k < K_KINDS; k++)
			lines[j].count[k] += sites[i].count[k];
	}
	for (size_t j = 0; j < nlines; j++)
		for (int k = 0; k < K_KINDS; k++)
			if (lines[j].count[k] != 0)
				fprintf(out, "%s %s %lu\n", lines[j].key, kind_name[k],
				    lines[j].count[k]);
	fprintf(out, "free - free %lu\n", frees);
	if (overflow != 0)
		fprintf(out, "untracked - malloc %lu\n", overflow);
	fclose(out);
}
