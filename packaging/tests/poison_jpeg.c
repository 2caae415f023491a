/* A stand-in libjpeg.so.62 that no program should ever load: placed in a
   working folder, it leaves a marker there as soon as the loader runs it and
   ends the process before anything calls into it. */
#include <fcntl.h>
#include <unistd.h>

__attribute__((constructor)) static void poisoned(void)
{
    int fd = open("poisoned-library-loaded", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        close(fd);
    _exit(86);
}
