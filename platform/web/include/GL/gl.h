/*
 * GL/gl.h -- the OpenGL 1.1 subset kelvo draws with, on WebGL (platform/web/web_gl.cpp).
 *
 * Fixed-function immediate mode as the Parts use it, drawn through WebGL 1 or 2 with shaders of
 * the subset's own at full (highp) precision where the GPU has it. Types and values are the real
 * ones. Calls made while no context is current (wglMakeCurrent) do nothing; GL errors are kept as
 * GL keeps them, the first one until glGetError reads it.
 *
 * Contract, by group:
 *   Immediate mode      glBegin with GL_QUADS or GL_TRIANGLES (others: GL_INVALID_ENUM), glVertex2f/3f,
 *                       glTexCoord2f, glColor3f/4f (components clamped to [0, 1]), glEnd. Vertices
 *                       are transformed by the projection and modelview matrices (in single
 *                       precision, as a GL does) and texture coordinates by the texture matrix,
 *                       when they are given; quads become two triangles; the vertices of
 *                       consecutive primitives under the same state are drawn together.
 *   Matrices            glMatrixMode (GL_MODELVIEW, GL_PROJECTION, GL_TEXTURE), glLoadIdentity,
 *                       glPushMatrix/glPopMatrix (32, 4 and 4 deep; GL_STACK_OVERFLOW/UNDERFLOW),
 *                       glTranslatef, glRotatef, glScalef, glOrtho, glMultMatrixf/d, glLoadMatrixf.
 *   Per fragment        glEnable/glDisable of GL_DEPTH_TEST, GL_BLEND, GL_TEXTURE_2D and
 *                       GL_TEXTURE_RECTANGLE_ARB (others: GL_INVALID_ENUM); glIsEnabled;
 *                       glDepthFunc, glBlendFunc (WebGL's own), glDepthMask; glShadeModel and glHint
 *                       are taken and change nothing (colours are per vertex either way; WebGL
 *                       interpolates in perspective always).
 *   Textures            glGenTextures, glDeleteTextures, glBindTexture on GL_TEXTURE_2D and on
 *                       GL_TEXTURE_RECTANGLE_ARB (0x84F5, texel coordinates: s from 0 to the width;
 *                       clamped to the edge, linear at first, no mipmaps); a name is of the target it
 *                       is first bound to (another: GL_INVALID_OPERATION). glTexImage2D with internal
 *                       formats 3, 4, GL_RGB, GL_RGBA, GL_RGB8, GL_RGBA8, 1, 2, GL_LUMINANCE,
 *                       GL_LUMINANCE_ALPHA, GL_ALPHA and pixel formats GL_RGB, GL_RGBA, GL_LUMINANCE,
 *                       GL_LUMINANCE_ALPHA, GL_ALPHA of GL_UNSIGNED_BYTE (RGB data for an RGBA
 *                       texture and back is converted; GL_COLOR_INDEX: GL_INVALID_ENUM: no paletted
 *                       textures), any level (mipmap chains); glCopyTexImage2D from the frame with
 *                       GL_RGB or GL_RGBA formats; glTexParameteri of the filters and wraps (GL_CLAMP
 *                       acts as GL_CLAMP_TO_EDGE); glPixelStorei of the alignments. The environment is
 *                       GL_MODULATE: a texel times the colour. A texture that is not complete (no
 *                       level 0, or a mipmap filter without the whole chain) leaves texturing off,
 *                       as GL 1.1 does, so a quad takes the plain colour (WebGL would give black).
 *                       Rectangle texturing, when enabled, wins over 2-D texturing.
 *   Buffers             glViewport, glClearColor, glClearDepth, glClear (colour and depth),
 *                       glReadPixels (GL_RGB or GL_RGBA of GL_UNSIGNED_BYTE), glFlush, glFinish.
 *   State               glGetError; glGetString (GL_VENDOR, GL_RENDERER, GL_VERSION: "1.1 ...",
 *                       GL_EXTENSIONS: "GL_ARB_texture_rectangle", or "" when the page's query string
 *                       sets KELVO_NO_RECTANGLE_TEXTURES, for frames without the glow);
 *                       glGetIntegerv (GL_MAX_TEXTURE_SIZE, GL_VIEWPORT, GL_PACK_ALIGNMENT,
 *                       GL_UNPACK_ALIGNMENT, GL_MATRIX_MODE, GL_TEXTURE_BINDING_2D); glGetFloatv of the
 *                       three matrices.
 * Not offered: lighting, fog, stencil, display lists, vertex arrays, other primitives, other
 * texture environments, GL_EXT_paletted_texture.
 */
#ifndef KELVO_PLATFORM_WEB_GL_H
#define KELVO_PLATFORM_WEB_GL_H

#include <stddef.h>

#ifndef APIENTRY
#define APIENTRY
#endif
#ifndef GLAPI
#define GLAPI extern
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef unsigned int GLenum;
typedef unsigned char GLboolean;
typedef unsigned int GLbitfield;
typedef void GLvoid;
typedef signed char GLbyte;
typedef short GLshort;
typedef int GLint;
typedef int GLsizei;
typedef unsigned char GLubyte;
typedef unsigned short GLushort;
typedef unsigned int GLuint;
typedef float GLfloat;
typedef float GLclampf;
typedef double GLdouble;
typedef double GLclampd;

#define GL_FALSE 0
#define GL_TRUE 1

/* Errors. */
#define GL_NO_ERROR 0
#define GL_INVALID_ENUM 0x0500
#define GL_INVALID_VALUE 0x0501
#define GL_INVALID_OPERATION 0x0502
#define GL_STACK_OVERFLOW 0x0503
#define GL_STACK_UNDERFLOW 0x0504
#define GL_OUT_OF_MEMORY 0x0505

/* Primitives. */
#define GL_TRIANGLES 0x0004
#define GL_QUADS 0x0007

/* Buffers. */
#define GL_DEPTH_BUFFER_BIT 0x00000100
#define GL_COLOR_BUFFER_BIT 0x00004000

/* Capabilities. */
#define GL_DEPTH_TEST 0x0B71
#define GL_BLEND 0x0BE2
#define GL_TEXTURE_2D 0x0DE1
#define GL_TEXTURE_RECTANGLE_ARB 0x84F5

/* Depth functions. */
#define GL_NEVER 0x0200
#define GL_LESS 0x0201
#define GL_EQUAL 0x0202
#define GL_LEQUAL 0x0203
#define GL_GREATER 0x0204
#define GL_NOTEQUAL 0x0205
#define GL_GEQUAL 0x0206
#define GL_ALWAYS 0x0207

/* Blend factors. */
#define GL_ZERO 0
#define GL_ONE 1
#define GL_SRC_COLOR 0x0300
#define GL_ONE_MINUS_SRC_COLOR 0x0301
#define GL_SRC_ALPHA 0x0302
#define GL_ONE_MINUS_SRC_ALPHA 0x0303
#define GL_DST_ALPHA 0x0304
#define GL_ONE_MINUS_DST_ALPHA 0x0305
#define GL_DST_COLOR 0x0306
#define GL_ONE_MINUS_DST_COLOR 0x0307
#define GL_SRC_ALPHA_SATURATE 0x0308

/* Matrices. */
#define GL_MATRIX_MODE 0x0BA0
#define GL_MODELVIEW 0x1700
#define GL_PROJECTION 0x1701
#define GL_TEXTURE 0x1702
#define GL_MODELVIEW_MATRIX 0x0BA6
#define GL_PROJECTION_MATRIX 0x0BA7
#define GL_TEXTURE_MATRIX 0x0BA8

/* Shading and hints. */
#define GL_FLAT 0x1D00
#define GL_SMOOTH 0x1D01
#define GL_PERSPECTIVE_CORRECTION_HINT 0x0C50
#define GL_DONT_CARE 0x1100
#define GL_FASTEST 0x1101
#define GL_NICEST 0x1102

/* Textures. */
#define GL_TEXTURE_MAG_FILTER 0x2800
#define GL_TEXTURE_MIN_FILTER 0x2801
#define GL_TEXTURE_WRAP_S 0x2802
#define GL_TEXTURE_WRAP_T 0x2803
#define GL_NEAREST 0x2600
#define GL_LINEAR 0x2601
#define GL_NEAREST_MIPMAP_NEAREST 0x2700
#define GL_LINEAR_MIPMAP_NEAREST 0x2701
#define GL_NEAREST_MIPMAP_LINEAR 0x2702
#define GL_LINEAR_MIPMAP_LINEAR 0x2703
#define GL_CLAMP 0x2900
#define GL_REPEAT 0x2901
#define GL_CLAMP_TO_EDGE 0x812F
#define GL_TEXTURE_BINDING_2D 0x8069

/* Pixel formats and types. */
#define GL_COLOR_INDEX 0x1900
#define GL_ALPHA 0x1906
#define GL_RGB 0x1907
#define GL_RGBA 0x1908
#define GL_LUMINANCE 0x1909
#define GL_LUMINANCE_ALPHA 0x190A
#define GL_RGB8 0x8051
#define GL_RGBA8 0x8058
#define GL_UNSIGNED_BYTE 0x1401
#define GL_UNPACK_ALIGNMENT 0x0CF5
#define GL_PACK_ALIGNMENT 0x0D05

/* Queries. */
#define GL_VIEWPORT 0x0BA2
#define GL_MAX_TEXTURE_SIZE 0x0D33
#define GL_VENDOR 0x1F00
#define GL_RENDERER 0x1F01
#define GL_VERSION 0x1F02
#define GL_EXTENSIONS 0x1F03

GLAPI void APIENTRY glBegin(GLenum mode);
GLAPI void APIENTRY glEnd(void);
GLAPI void APIENTRY glVertex2f(GLfloat x, GLfloat y);
GLAPI void APIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z);
GLAPI void APIENTRY glTexCoord2f(GLfloat s, GLfloat t);
GLAPI void APIENTRY glColor3f(GLfloat red, GLfloat green, GLfloat blue);
GLAPI void APIENTRY glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha);

GLAPI void APIENTRY glMatrixMode(GLenum mode);
GLAPI void APIENTRY glLoadIdentity(void);
GLAPI void APIENTRY glPushMatrix(void);
GLAPI void APIENTRY glPopMatrix(void);
GLAPI void APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z);
GLAPI void APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z);
GLAPI void APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z);
GLAPI void APIENTRY glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar);
GLAPI void APIENTRY glMultMatrixf(const GLfloat *m);
GLAPI void APIENTRY glMultMatrixd(const GLdouble *m);
GLAPI void APIENTRY glLoadMatrixf(const GLfloat *m);

GLAPI void APIENTRY glEnable(GLenum cap);
GLAPI void APIENTRY glDisable(GLenum cap);
GLAPI GLboolean APIENTRY glIsEnabled(GLenum cap);
GLAPI void APIENTRY glDepthFunc(GLenum func);
GLAPI void APIENTRY glDepthMask(GLboolean flag);
GLAPI void APIENTRY glBlendFunc(GLenum sfactor, GLenum dfactor);
GLAPI void APIENTRY glShadeModel(GLenum mode);
GLAPI void APIENTRY glHint(GLenum target, GLenum mode);

GLAPI void APIENTRY glGenTextures(GLsizei n, GLuint *textures);
GLAPI void APIENTRY glDeleteTextures(GLsizei n, const GLuint *textures);
GLAPI void APIENTRY glBindTexture(GLenum target, GLuint texture);
GLAPI void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param);
GLAPI void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                                 GLint border, GLenum format, GLenum type, const GLvoid *pixels);
GLAPI void APIENTRY glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y,
                                     GLsizei width, GLsizei height, GLint border);
GLAPI void APIENTRY glPixelStorei(GLenum pname, GLint param);

GLAPI void APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
GLAPI void APIENTRY glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
GLAPI void APIENTRY glClearDepth(GLclampd depth);
GLAPI void APIENTRY glClear(GLbitfield mask);
GLAPI void APIENTRY glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                                 GLvoid *pixels);
GLAPI void APIENTRY glFlush(void);
GLAPI void APIENTRY glFinish(void);

GLAPI GLenum APIENTRY glGetError(void);
GLAPI const GLubyte *APIENTRY glGetString(GLenum name);
GLAPI void APIENTRY glGetIntegerv(GLenum pname, GLint *params);
GLAPI void APIENTRY glGetFloatv(GLenum pname, GLfloat *params);

#ifdef __cplusplus
}
#endif

#endif
