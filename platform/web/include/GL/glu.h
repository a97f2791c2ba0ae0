/*
 * GL/glu.h -- the one GLU call kelvo makes, on the web GL subset (platform/web/web_gl.cpp).
 *
 * gluPerspective   multiplies the current matrix by the perspective projection of a vertical field
 *                  of view (degrees), an aspect ratio and the near and far planes, computed in double
 *                  precision as Mesa's GLU does; nothing for an aspect ratio of 0, equal planes or a
 *                  field of view whose sine is 0.
 */
#ifndef KELVO_PLATFORM_WEB_GLU_H
#define KELVO_PLATFORM_WEB_GLU_H

#include <GL/gl.h>

#ifdef __cplusplus
extern "C" {
#endif

GLAPI void APIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar);

#ifdef __cplusplus
}
#endif

#endif
