/* A stand-in for libswscale: the loader tests put it into a LibAV folder. Only the exported names
   and swscale_version matter; nothing else is ever called. */
unsigned swscale_version(void) { return (unsigned)FAKE_MAJOR << 16; }
void sws_getContext(void) {}
void sws_getCachedContext(void) {}
void sws_freeContext(void) {}
#ifndef FAKE_OMIT_SWS_SCALE
void sws_scale(void) {}
#endif
