// The PNG texture loader.

#include "texload/texload.h"

// Not built yet: loads nothing, so every texture is 0.
GLuint BindPngTexture(const char *path, int mipmapMode, int alphaMode, TextureInfo *info, GLint wrap,
                      GLint minFilter, GLint magFilter)
{
    (void)path;
    (void)mipmapMode;
    (void)alphaMode;
    (void)info;
    (void)wrap;
    (void)minFilter;
    (void)magFilter;
    return 0;
}
