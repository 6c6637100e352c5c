/* A frame-hook module for the hook tests. It records what the host calls so that the tests can
   read it back through FakeHookStats. Configure refuses when one of its arguments is "refuse".
   FAKE_NO_CONFIGURE and FAKE_NO_PROCESS leave out an entry point. */
#include <stdlib.h>
#include <string.h>

#include "ostrelkalvexa/frame_hook_module.h"

#define FAKE_LOG_SIZE 64

typedef struct fake_hook_stats {
  int configured;                 /* Configure calls that accepted */
  int processed;                  /* Process calls */
  int released;                   /* Release calls */
  int process_ids[FAKE_LOG_SIZE]; /* context id of each Process call (0: no context) */
  int release_ids[FAKE_LOG_SIZE]; /* context id of each Release call */
  int last_argc;
  char last_args[256]; /* the arguments of the last Configure, joined by "|" */
} fake_hook_stats;

typedef struct fake_context {
  int id;
} fake_context;

static fake_hook_stats stats;

OKV_HOOK_EXPORT fake_hook_stats* FakeHookStats(void) { return &stats; }

static int id_of(void* ctx) { return ctx ? ((fake_context*)ctx)->id : 0; }

#ifndef FAKE_NO_CONFIGURE
int Configure(void** ctx, int argc, char* argv[]) {
  fake_context* c;
  int i;
  stats.last_argc = argc;
  stats.last_args[0] = '\0';
  for (i = 0; i < argc; ++i) {
    if (i > 0) strncat(stats.last_args, "|", sizeof stats.last_args - strlen(stats.last_args) - 1);
    strncat(stats.last_args, argv[i], sizeof stats.last_args - strlen(stats.last_args) - 1);
  }
  for (i = 1; i < argc; ++i)
    if (strcmp(argv[i], "refuse") == 0) return 5;
  if (argv[argc] != NULL) return 6; /* the list must end with NULL */
  c = (fake_context*)malloc(sizeof *c);
  if (!c) return 12;
  c->id = ++stats.configured;
  *ctx = c;
  return 0;
}
#endif

#ifndef FAKE_NO_PROCESS
void Process(void* ctx, okv_picture* picture, int pix_fmt, int width, int height, int64_t pts) {
  (void)pix_fmt;
  (void)width;
  (void)height;
  (void)pts;
  if (stats.processed < FAKE_LOG_SIZE) stats.process_ids[stats.processed] = id_of(ctx);
  ++stats.processed;
  /* Leaves a mark: the first byte of the first plane counts the calls. */
  if (picture && picture->data[0]) picture->data[0][0]++;
}
#endif

void Release(void* ctx) {
  if (stats.released < FAKE_LOG_SIZE) stats.release_ids[stats.released] = id_of(ctx);
  ++stats.released;
  free(ctx);
}
