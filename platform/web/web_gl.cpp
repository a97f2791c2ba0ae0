// The GL 1.1 subset on WebGL (include/GL/gl.h): immediate-mode quads with the matrix stacks,
// modulated 2-D and rectangle textures, blending and the depth test, drawn by two shaders of its
// own at full precision.
//
// Vertices are transformed here, in single precision with the operations of Mesa's matrix code,
// and handed to WebGL in clip space, so that matrix changes between quads (each bar has its own)
// cost no draw call: consecutive primitives under the same texture state go out in one draw,
// made when the state changes, the frame ends or anything reads or copies the frame. Texture
// coordinates of a rectangle texture are texels, scaled to WebGL's 0..1 by the shader with the
// texture's size. WebGL's own calls are reached under emscripten's second names (emscripten_gl*),
// since the subset takes the first ones.

#include <GL/gl.h>
#include <GL/glu.h>

#include "platform/web/web_internal.h"

#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <map>
#include <vector>

extern "C" {
void emscripten_glEnable(GLenum cap);
void emscripten_glDisable(GLenum cap);
void emscripten_glDepthFunc(GLenum func);
void emscripten_glDepthMask(GLboolean flag);
void emscripten_glBlendFunc(GLenum sfactor, GLenum dfactor);
void emscripten_glViewport(GLint x, GLint y, GLsizei width, GLsizei height);
void emscripten_glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha);
void emscripten_glClearDepthf(GLclampf depth);
void emscripten_glClear(GLbitfield mask);
void emscripten_glGenTextures(GLsizei n, GLuint *textures);
void emscripten_glDeleteTextures(GLsizei n, const GLuint *textures);
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glActiveTexture(GLenum texture);
void emscripten_glTexParameteri(GLenum target, GLenum pname, GLint param);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                             GLint border, GLenum format, GLenum type, const void *pixels);
void emscripten_glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,
                                 GLsizei height, GLint border);
void emscripten_glPixelStorei(GLenum pname, GLint param);
void emscripten_glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, void *pixels);
GLenum emscripten_glGetError(void);
void emscripten_glGetIntegerv(GLenum pname, GLint *params);
void emscripten_glFlush(void);
void emscripten_glFinish(void);
GLuint emscripten_glCreateShader(GLenum type);
void emscripten_glShaderSource(GLuint shader, GLsizei count, const char *const *string, const GLint *length);
void emscripten_glCompileShader(GLuint shader);
void emscripten_glGetShaderiv(GLuint shader, GLenum pname, GLint *params);
void emscripten_glGetShaderInfoLog(GLuint shader, GLsizei bufSize, GLsizei *length, char *infoLog);
void emscripten_glDeleteShader(GLuint shader);
GLuint emscripten_glCreateProgram(void);
void emscripten_glAttachShader(GLuint program, GLuint shader);
void emscripten_glBindAttribLocation(GLuint program, GLuint index, const char *name);
void emscripten_glLinkProgram(GLuint program);
void emscripten_glGetProgramiv(GLuint program, GLenum pname, GLint *params);
void emscripten_glDeleteProgram(GLuint program);
GLint emscripten_glGetUniformLocation(GLuint program, const char *name);
void emscripten_glUseProgram(GLuint program);
void emscripten_glUniform1i(GLint location, GLint v0);
void emscripten_glUniform2f(GLint location, GLfloat v0, GLfloat v1);
void emscripten_glGenBuffers(GLsizei n, GLuint *buffers);
void emscripten_glDeleteBuffers(GLsizei n, const GLuint *buffers);
void emscripten_glBindBuffer(GLenum target, GLuint buffer);
void emscripten_glBufferData(GLenum target, long size, const void *data, GLenum usage);
void emscripten_glVertexAttribPointer(GLuint index, GLint size, GLenum type, GLboolean normalized, GLsizei stride,
                                      const void *pointer);
void emscripten_glEnableVertexAttribArray(GLuint index);
void emscripten_glDrawArrays(GLenum mode, GLint first, GLsizei count);
void emscripten_glUniform1f(GLint location, GLfloat v0);
void emscripten_glCopyTexSubImage2D(GLenum target, GLint level, GLint xoffset, GLint yoffset, GLint x, GLint y,
                                    GLsizei width, GLsizei height);
void emscripten_glGenFramebuffers(GLsizei n, GLuint *framebuffers);
void emscripten_glDeleteFramebuffers(GLsizei n, const GLuint *framebuffers);
void emscripten_glBindFramebuffer(GLenum target, GLuint framebuffer);
void emscripten_glFramebufferTexture2D(GLenum target, GLenum attachment, GLenum textarget, GLuint texture, GLint level);
void emscripten_glGenRenderbuffers(GLsizei n, GLuint *renderbuffers);
void emscripten_glDeleteRenderbuffers(GLsizei n, const GLuint *renderbuffers);
void emscripten_glBindRenderbuffer(GLenum target, GLuint renderbuffer);
void emscripten_glRenderbufferStorage(GLenum target, GLenum internalformat, GLsizei width, GLsizei height);
void emscripten_glFramebufferRenderbuffer(GLenum target, GLenum attachment, GLenum renderbuffertarget,
                                          GLuint renderbuffer);
GLenum emscripten_glCheckFramebufferStatus(GLenum target);
}

namespace {

// WebGL's own values beyond GL 1.1's.
const GLenum WebGlArrayBuffer = 0x8892;
const GLenum WebGlStreamDraw = 0x88E0;
const GLenum WebGlFloat = 0x1406;
const GLenum WebGlVertexShader = 0x8B31;
const GLenum WebGlFragmentShader = 0x8B30;
const GLenum WebGlCompileStatus = 0x8B81;
const GLenum WebGlLinkStatus = 0x8B82;
const GLenum WebGlTexture0 = 0x84C0;
const GLenum WebGlFramebuffer = 0x8D40;
const GLenum WebGlRenderbuffer = 0x8D41;
const GLenum WebGlColorAttachment0 = 0x8CE0;
const GLenum WebGlDepthAttachment = 0x8D00;
const GLenum WebGlDepthComponent16 = 0x81A5;
const GLenum WebGlFramebufferComplete = 0x8CD5;

const int StackDepth[3] = {32, 4, 4};  // modelview, projection, texture
const int MaxStackDepth = 32;
const int FloatsPerVertex = 11;        // clip position (4), colour (4), texture coordinates s, t, q (3)
const size_t MaxBatchVertices = 6 * 4096;

// The shaders: the position comes in clip space; the texture coordinate is scaled to 0..1
// (1 for 2-D textures, 1/size for rectangle ones) and projected by q per fragment.
const char *const VertexShader =
    "precision highp float;\n"
    "attribute vec4 position;\n"
    "attribute vec4 color;\n"
    "attribute vec3 texCoord;\n"
    "uniform vec2 texScale;\n"
    "varying vec4 vColor;\n"
    "varying vec3 vTexCoord;\n"
    "void main() {\n"
    "  gl_Position = position;\n"
    "  vColor = color;\n"
    "  vTexCoord = vec3(texCoord.xy * texScale, texCoord.z);\n"
    "}\n";
const char *const FragmentPrecision =
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\n"
    "precision highp float;\n"
    "#else\n"
    "precision mediump float;\n"
    "#endif\n";
const char *const PlainFragmentShader =
    "varying vec4 vColor;\n"
    "varying vec3 vTexCoord;\n"
    "void main() { gl_FragColor = vColor; }\n";
const char *const TexturedFragmentShader =
    "uniform sampler2D texture;\n"
    "uniform float opaque;\n"
    "varying vec4 vColor;\n"
    "varying vec3 vTexCoord;\n"
    "void main() {\n"
    "  vec4 texel = texture2DProj(texture, vTexCoord);\n"
    "  texel.a = max(texel.a, opaque);\n"
    "  gl_FragColor = vColor * texel;\n"
    "}\n";

struct Texture {
    GLenum target;         // 0 until first bound
    GLuint webgl;          // WebGL's texture (emscripten's name), 0 until first bound
    int width, height;     // of level 0; 0 while it has none
    GLenum format;         // WebGL's format of level 0, as stored
    bool opaque;           // its GL format has no alpha (RGB or luminance): texels read alpha 1
    unsigned levels;       // bit n set when level n holds an image of its size
    GLint minFilter;
};

struct Program {
    GLuint program;
    GLint texScale;
    GLint opaque;
};

struct DrawKey {
    bool textured;
    GLuint name;           // the texture drawn with, when textured
    float scaleS, scaleT;
    bool opaque;
};

struct Context {
    bool used;
    int webgl;
    Program plain, textured;
    GLuint buffer;
    GLenum error;
    // The frame the program draws: a framebuffer of the canvas's size (RGBA, so that copies from
    // it are WebGL's fast ones; 16-bit depth), shown on the canvas by GlFinishFrame.
    GLuint framebuffer, colorTexture, depthBuffer;
    int width, height;

    float stacks[3][MaxStackDepth][16];
    int depth[3];
    int mode;              // 0 modelview, 1 projection, 2 texture
    float modelProject[16];
    bool modelProjectStale;
    bool textureIdentity;

    float color[4];
    float texCoord[2];
    bool inBegin;
    GLenum primitive;
    float pending[4][FloatsPerVertex];
    int pendingCount;

    bool texture2D, textureRectangle, depthTest, blend;
    GLuint bound2D, boundRectangle;
    std::map<GLuint, Texture> textures;
    GLuint nextName;
    GLint packAlignment, unpackAlignment;
    GLint viewport[4];

    std::vector<float> batch;
    DrawKey batchKey;
    GLuint webglTexture;   // what WebGL has bound on unit 0, to skip repeated binds
    int program;           // -1 none, 0 plain, 1 textured
};

std::vector<Context> contexts(1);  // slot 0 is never used: 0 means no context
int current = 0;

Context *Current()
{
    return current ? &contexts[size_t(current)] : nullptr;
}

void SetError(Context *gl, GLenum error)
{
    if (gl->error == GL_NO_ERROR)
        gl->error = error;
}

// ---- Matrices, as Mesa's m_matrix.c computes them.

const float IdentityMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

void Multiply(float *product, const float *a, const float *b)
{
    float result[16];
    for (int i = 0; i < 4; i++) {
        const float ai0 = a[i], ai1 = a[4 + i], ai2 = a[8 + i], ai3 = a[12 + i];
        for (int j = 0; j < 4; j++)
            result[4 * j + i] = ai0 * b[4 * j] + ai1 * b[4 * j + 1] + ai2 * b[4 * j + 2] + ai3 * b[4 * j + 3];
    }
    memcpy(product, result, sizeof result);
}

float *Top(Context *gl)
{
    return gl->stacks[gl->mode][gl->depth[gl->mode]];
}

void MatrixChanged(Context *gl)
{
    if (gl->mode == 2) {
        gl->textureIdentity = memcmp(Top(gl), IdentityMatrix, sizeof IdentityMatrix) == 0;
    } else {
        gl->modelProjectStale = true;
    }
}

void MultiplyTop(Context *gl, const float *m)
{
    float *top = Top(gl);
    Multiply(top, top, m);
    MatrixChanged(gl);
}

// Gives the call's context, or null (after recording GL_INVALID_OPERATION) between glBegin and
// glEnd, where only vertex data may come.
Context *OutsideBegin()
{
    Context *gl = Current();
    if (gl && gl->inBegin) {
        SetError(gl, GL_INVALID_OPERATION);
        return nullptr;
    }
    return gl;
}

// ---- Textures.

Texture *Bound(Context *gl, GLenum target)
{
    GLuint name = target == GL_TEXTURE_RECTANGLE_ARB ? gl->boundRectangle : gl->bound2D;
    if (name == 0)
        return nullptr;
    auto found = gl->textures.find(name);
    return found == gl->textures.end() ? nullptr : &found->second;
}

bool NeedsMipmaps(GLint filter)
{
    return filter != GL_NEAREST && filter != GL_LINEAR;
}

// Complete as GL 1.1 means it: level 0, and with a mipmap filter every level down to 1 x 1.
bool Complete(const Texture &texture)
{
    if (texture.width <= 0 || texture.height <= 0 || !(texture.levels & 1))
        return false;
    if (texture.target == GL_TEXTURE_RECTANGLE_ARB || !NeedsMipmaps(texture.minFilter))
        return true;
    int largest = texture.width > texture.height ? texture.width : texture.height;
    int count = 1;
    while (largest > 1) {
        largest /= 2;
        count++;
    }
    for (int level = 0; level < count && level < 32; level++)
        if (!(texture.levels & (1u << level)))
            return false;
    return true;
}

void BindForWebGl(Context *gl, GLuint webglName)
{
    if (gl->webglTexture != webglName) {
        emscripten_glBindTexture(GL_TEXTURE_2D, webglName);
        gl->webglTexture = webglName;
    }
}

// ---- Drawing.

DrawKey KeyNow(Context *gl)
{
    DrawKey key = {false, 0, 1.0f, 1.0f, false};
    if (gl->textureRectangle) {
        Texture *texture = Bound(gl, GL_TEXTURE_RECTANGLE_ARB);
        if (texture && Complete(*texture)) {
            key = {true, gl->boundRectangle, 1.0f / float(texture->width), 1.0f / float(texture->height), texture->opaque};
            return key;
        }
    }
    if (gl->texture2D) {
        Texture *texture = Bound(gl, GL_TEXTURE_2D);
        if (texture && Complete(*texture))
            key = {true, gl->bound2D, 1.0f, 1.0f, texture->opaque};
    }
    return key;
}

bool SameKey(const DrawKey &a, const DrawKey &b)
{
    return a.textured == b.textured &&
           (!a.textured || (a.name == b.name && a.scaleS == b.scaleS && a.scaleT == b.scaleT && a.opaque == b.opaque));
}

// Draws what is batched.
void Flush(Context *gl)
{
    if (gl->batch.empty())
        return;
    const DrawKey &key = gl->batchKey;
    const int which = key.textured ? 1 : 0;
    const Program &program = key.textured ? gl->textured : gl->plain;
    if (gl->program != which) {
        emscripten_glUseProgram(program.program);
        gl->program = which;
    }
    if (key.textured) {
        BindForWebGl(gl, gl->textures[key.name].webgl);
        emscripten_glUniform2f(program.texScale, key.scaleS, key.scaleT);
        emscripten_glUniform1f(program.opaque, key.opaque ? 1.0f : 0.0f);
    }
    emscripten_glBufferData(WebGlArrayBuffer, long(gl->batch.size() * sizeof(float)), gl->batch.data(), WebGlStreamDraw);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, GLsizei(gl->batch.size() / FloatsPerVertex));
    gl->batch.clear();
}

// Gives the call's context with the batch drawn, or null as OutsideBegin does.
Context *ForStateChange()
{
    Context *gl = OutsideBegin();
    if (gl)
        Flush(gl);
    return gl;
}

void AppendVertex(Context *gl, const float *vertex)
{
    gl->batch.insert(gl->batch.end(), vertex, vertex + FloatsPerVertex);
}

void EmitVertex(Context *gl, float x, float y, float z)
{
    if (gl->modelProjectStale) {
        Multiply(gl->modelProject, gl->stacks[1][gl->depth[1]], gl->stacks[0][gl->depth[0]]);
        gl->modelProjectStale = false;
    }
    const float *m = gl->modelProject;
    float *v = gl->pending[gl->pendingCount];
    for (int row = 0; row < 4; row++)
        v[row] = m[row] * x + m[4 + row] * y + m[8 + row] * z + m[12 + row];
    memcpy(v + 4, gl->color, sizeof gl->color);
    if (gl->textureIdentity) {
        v[8] = gl->texCoord[0];
        v[9] = gl->texCoord[1];
        v[10] = 1.0f;
    } else {
        const float *t = gl->stacks[2][gl->depth[2]];
        const float s = gl->texCoord[0], tc = gl->texCoord[1];
        v[8] = t[0] * s + t[4] * tc + t[12];
        v[9] = t[1] * s + t[5] * tc + t[13];
        v[10] = t[3] * s + t[7] * tc + t[15];
    }
    gl->pendingCount++;
    const int needed = gl->primitive == GL_QUADS ? 4 : 3;
    if (gl->pendingCount < needed)
        return;
    if (gl->batch.size() >= MaxBatchVertices * FloatsPerVertex)
        Flush(gl);
    AppendVertex(gl, gl->pending[0]);
    AppendVertex(gl, gl->pending[1]);
    AppendVertex(gl, gl->pending[2]);
    if (needed == 4) {
        AppendVertex(gl, gl->pending[0]);
        AppendVertex(gl, gl->pending[2]);
        AppendVertex(gl, gl->pending[3]);
    }
    gl->pendingCount = 0;
}

// ---- Formats.

// WebGL's format for a GL 1.1 internal format; 0 for one the subset does not take.
GLenum WebGlFormat(GLint internalFormat)
{
    switch (internalFormat) {
    case 3: case GL_RGB: case GL_RGB8: return GL_RGB;
    case 4: case GL_RGBA: case GL_RGBA8: return GL_RGBA;
    case 1: case GL_LUMINANCE: return GL_LUMINANCE;
    case 2: case GL_LUMINANCE_ALPHA: return GL_LUMINANCE_ALPHA;
    case GL_ALPHA: return GL_ALPHA;
    default: return 0;
    }
}

int Components(GLenum format)
{
    switch (format) {
    case GL_RGB: return 3;
    case GL_RGBA: return 4;
    case GL_LUMINANCE_ALPHA: return 2;
    case GL_LUMINANCE: case GL_ALPHA: return 1;
    default: return 0;
    }
}

size_t RowBytes(int width, int components, int alignment)
{
    size_t bytes = size_t(width) * size_t(components);
    return (bytes + size_t(alignment) - 1) / size_t(alignment) * size_t(alignment);
}

GLuint CompileShader(GLenum type, const char *first, const char *second)
{
    GLuint shader = emscripten_glCreateShader(type);
    const char *parts[2] = {first, second};
    emscripten_glShaderSource(shader, second ? 2 : 1, parts, nullptr);
    emscripten_glCompileShader(shader);
    GLint ok = 0;
    emscripten_glGetShaderiv(shader, WebGlCompileStatus, &ok);
    if (!ok) {
        char log[512] = "";
        emscripten_glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        fprintf(stderr, "kelvo: WebGL did not compile the GL subset's shader: %s\n", log);
        emscripten_glDeleteShader(shader);
        return 0;
    }
    return shader;
}

bool LinkProgram(Program *program, const char *fragment)
{
    GLuint vertexShader = CompileShader(WebGlVertexShader, VertexShader, nullptr);
    GLuint fragmentShader = CompileShader(WebGlFragmentShader, FragmentPrecision, fragment);
    if (!vertexShader || !fragmentShader)
        return false;
    program->program = emscripten_glCreateProgram();
    emscripten_glAttachShader(program->program, vertexShader);
    emscripten_glAttachShader(program->program, fragmentShader);
    emscripten_glBindAttribLocation(program->program, 0, "position");
    emscripten_glBindAttribLocation(program->program, 1, "color");
    emscripten_glBindAttribLocation(program->program, 2, "texCoord");
    emscripten_glLinkProgram(program->program);
    emscripten_glDeleteShader(vertexShader);
    emscripten_glDeleteShader(fragmentShader);
    GLint ok = 0;
    emscripten_glGetProgramiv(program->program, WebGlLinkStatus, &ok);
    if (!ok) {
        fprintf(stderr, "kelvo: WebGL did not link the GL subset's shaders\n");
        return false;
    }
    program->texScale = emscripten_glGetUniformLocation(program->program, "texScale");
    program->opaque = emscripten_glGetUniformLocation(program->program, "opaque");
    GLint sampler = emscripten_glGetUniformLocation(program->program, "texture");
    if (sampler >= 0) {
        emscripten_glUseProgram(program->program);
        emscripten_glUniform1i(sampler, 0);
    }
    return true;
}

bool KnownBlendFactor(GLenum factor)
{
    return factor <= GL_ONE || (factor >= GL_SRC_COLOR && factor <= GL_SRC_ALPHA_SATURATE);
}

// The extension list: rectangle textures unless the page's query string says otherwise.
const char *Extensions()
{
    const char *off = getenv("KELVO_NO_RECTANGLE_TEXTURES");
    return off && *off && strcmp(off, "0") != 0 ? "" : "GL_ARB_texture_rectangle";
}

// The program's frame: an RGBA texture of the canvas's size with a 16-bit depth buffer.
bool MakeFramebuffer(Context *gl, int webgl)
{
    emscripten_webgl_get_drawing_buffer_size(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(webgl), &gl->width, &gl->height);
    emscripten_glGenTextures(1, &gl->colorTexture);
    emscripten_glBindTexture(GL_TEXTURE_2D, gl->colorTexture);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, gl->width, gl->height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    emscripten_glBindTexture(GL_TEXTURE_2D, 0);
    emscripten_glGenRenderbuffers(1, &gl->depthBuffer);
    emscripten_glBindRenderbuffer(WebGlRenderbuffer, gl->depthBuffer);
    emscripten_glRenderbufferStorage(WebGlRenderbuffer, WebGlDepthComponent16, gl->width, gl->height);
    emscripten_glGenFramebuffers(1, &gl->framebuffer);
    emscripten_glBindFramebuffer(WebGlFramebuffer, gl->framebuffer);
    emscripten_glFramebufferTexture2D(WebGlFramebuffer, WebGlColorAttachment0, GL_TEXTURE_2D, gl->colorTexture, 0);
    emscripten_glFramebufferRenderbuffer(WebGlFramebuffer, WebGlDepthAttachment, WebGlRenderbuffer, gl->depthBuffer);
    if (emscripten_glCheckFramebufferStatus(WebGlFramebuffer) != WebGlFramebufferComplete) {
        fprintf(stderr, "kelvo: WebGL gave no framebuffer of %d x %d to draw in\n", gl->width, gl->height);
        return false;
    }
    gl->viewport[0] = gl->viewport[1] = 0;
    gl->viewport[2] = gl->width;
    gl->viewport[3] = gl->height;
    emscripten_glViewport(0, 0, gl->width, gl->height);
    return true;
}

// Shows the program's frame on the canvas, 1:1, and goes back to drawing in the frame.
void Present(Context *gl)
{
    Flush(gl);
    emscripten_glBindFramebuffer(WebGlFramebuffer, 0);
    emscripten_glViewport(0, 0, gl->width, gl->height);
    if (gl->blend)
        emscripten_glDisable(GL_BLEND);
    if (gl->depthTest)
        emscripten_glDisable(GL_DEPTH_TEST);
    static const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
    static const int order[6] = {0, 1, 2, 0, 2, 3};
    float quad[6 * FloatsPerVertex];
    for (int i = 0; i < 6; i++) {
        const float *corner = corners[order[i]];
        float *v = quad + i * FloatsPerVertex;
        const float vertex[FloatsPerVertex] = {corner[0], corner[1], 0, 1, 1, 1, 1, 1,
                                               (corner[0] + 1) / 2, (corner[1] + 1) / 2, 1};
        memcpy(v, vertex, sizeof vertex);
    }
    if (gl->program != 1) {
        emscripten_glUseProgram(gl->textured.program);
        gl->program = 1;
    }
    BindForWebGl(gl, gl->colorTexture);
    emscripten_glUniform2f(gl->textured.texScale, 1.0f, 1.0f);
    emscripten_glUniform1f(gl->textured.opaque, 1.0f);
    emscripten_glBufferData(WebGlArrayBuffer, long(sizeof quad), quad, WebGlStreamDraw);
    emscripten_glDrawArrays(GL_TRIANGLES, 0, 6);
    // The frame's texture is not left bound while the frame is drawn into.
    BindForWebGl(gl, 0);
    emscripten_glBindFramebuffer(WebGlFramebuffer, gl->framebuffer);
    emscripten_glViewport(gl->viewport[0], gl->viewport[1], gl->viewport[2], gl->viewport[3]);
    if (gl->blend)
        emscripten_glEnable(GL_BLEND);
    if (gl->depthTest)
        emscripten_glEnable(GL_DEPTH_TEST);
}

} // namespace

namespace weblayer {

int GlCreateContext(int webgl)
{
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE previous = emscripten_webgl_get_current_context();
    if (emscripten_webgl_make_context_current(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(webgl)) != EMSCRIPTEN_RESULT_SUCCESS)
        return 0;
    size_t slot = 1;
    while (slot < contexts.size() && contexts[slot].used)
        slot++;
    if (slot == contexts.size())
        contexts.emplace_back();
    Context &gl = contexts[slot];
    gl = Context();
    gl.webgl = webgl;
    bool made = LinkProgram(&gl.plain, PlainFragmentShader) && LinkProgram(&gl.textured, TexturedFragmentShader);
    if (made) {
        emscripten_glGenBuffers(1, &gl.buffer);
        emscripten_glBindBuffer(WebGlArrayBuffer, gl.buffer);
        const long stride = FloatsPerVertex * sizeof(float);
        emscripten_glVertexAttribPointer(0, 4, WebGlFloat, GL_FALSE, stride, reinterpret_cast<void *>(0));
        emscripten_glVertexAttribPointer(1, 4, WebGlFloat, GL_FALSE, stride, reinterpret_cast<void *>(4 * sizeof(float)));
        emscripten_glVertexAttribPointer(2, 3, WebGlFloat, GL_FALSE, stride, reinterpret_cast<void *>(8 * sizeof(float)));
        for (GLuint attribute = 0; attribute < 3; attribute++)
            emscripten_glEnableVertexAttribArray(attribute);
        emscripten_glActiveTexture(WebGlTexture0);
        made = MakeFramebuffer(&gl, webgl);
    }
    emscripten_webgl_make_context_current(previous);
    if (!made)
        return 0;
    gl.used = true;
    for (int m = 0; m < 3; m++)
        memcpy(gl.stacks[m][0], IdentityMatrix, sizeof IdentityMatrix);
    gl.modelProjectStale = true;
    gl.textureIdentity = true;
    gl.color[0] = gl.color[1] = gl.color[2] = gl.color[3] = 1.0f;
    gl.nextName = 1;
    gl.packAlignment = gl.unpackAlignment = 4;
    gl.program = -1;
    gl.batch.reserve(64 * 6 * FloatsPerVertex);
    return int(slot);
}

bool GlMakeCurrent(int context)
{
    if (context == 0) {
        if (Context *gl = Current())
            Flush(gl);
        current = 0;
        emscripten_webgl_make_context_current(0);
        return true;
    }
    if (context < 0 || size_t(context) >= contexts.size() || !contexts[size_t(context)].used)
        return false;
    if (current != context) {
        if (Context *gl = Current())
            Flush(gl);
    }
    if (emscripten_webgl_make_context_current(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(contexts[size_t(context)].webgl)) !=
        EMSCRIPTEN_RESULT_SUCCESS)
        return false;
    current = context;
    return true;
}

int GlCurrentContext()
{
    return current;
}

void GlDeleteContext(int context)
{
    if (context <= 0 || size_t(context) >= contexts.size() || !contexts[size_t(context)].used)
        return;
    Context &gl = contexts[size_t(context)];
    if (current == context)
        current = 0;
    // The WebGL objects are released by name while their context can still be reached; the
    // context itself goes with its canvas.
    EMSCRIPTEN_WEBGL_CONTEXT_HANDLE previous = emscripten_webgl_get_current_context();
    if (emscripten_webgl_make_context_current(EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(gl.webgl)) == EMSCRIPTEN_RESULT_SUCCESS) {
        for (auto &entry : gl.textures)
            if (entry.second.webgl)
                emscripten_glDeleteTextures(1, &entry.second.webgl);
        emscripten_glDeleteBuffers(1, &gl.buffer);
        emscripten_glDeleteFramebuffers(1, &gl.framebuffer);
        emscripten_glDeleteRenderbuffers(1, &gl.depthBuffer);
        emscripten_glDeleteTextures(1, &gl.colorTexture);
        emscripten_glDeleteProgram(gl.plain.program);
        emscripten_glDeleteProgram(gl.textured.program);
    }
    emscripten_webgl_make_context_current(previous == EMSCRIPTEN_WEBGL_CONTEXT_HANDLE(gl.webgl) ? 0 : previous);
    gl = Context();
}

void GlFinishFrame()
{
    if (Context *gl = Current())
        Present(gl);
}

} // namespace weblayer

extern "C" {

void APIENTRY glBegin(GLenum mode)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (mode != GL_QUADS && mode != GL_TRIANGLES) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    DrawKey key = KeyNow(gl);
    if (!gl->batch.empty() && !SameKey(key, gl->batchKey))
        Flush(gl);
    gl->batchKey = key;
    gl->inBegin = true;
    gl->primitive = mode;
    gl->pendingCount = 0;
}

void APIENTRY glEnd(void)
{
    Context *gl = Current();
    if (!gl)
        return;
    if (!gl->inBegin) {
        SetError(gl, GL_INVALID_OPERATION);
        return;
    }
    gl->inBegin = false;
    gl->pendingCount = 0; // an unfinished primitive is dropped
}

void APIENTRY glVertex3f(GLfloat x, GLfloat y, GLfloat z)
{
    Context *gl = Current();
    if (gl && gl->inBegin)
        EmitVertex(gl, x, y, z);
}

void APIENTRY glVertex2f(GLfloat x, GLfloat y)
{
    glVertex3f(x, y, 0.0f);
}

void APIENTRY glTexCoord2f(GLfloat s, GLfloat t)
{
    if (Context *gl = Current()) {
        gl->texCoord[0] = s;
        gl->texCoord[1] = t;
    }
}

static float Clamp01(float value)
{
    return value > 1.0f ? 1.0f : value > 0.0f ? value : 0.0f;
}

void APIENTRY glColor4f(GLfloat red, GLfloat green, GLfloat blue, GLfloat alpha)
{
    if (Context *gl = Current()) {
        gl->color[0] = Clamp01(red);
        gl->color[1] = Clamp01(green);
        gl->color[2] = Clamp01(blue);
        gl->color[3] = Clamp01(alpha);
    }
}

void APIENTRY glColor3f(GLfloat red, GLfloat green, GLfloat blue)
{
    glColor4f(red, green, blue, 1.0f);
}

void APIENTRY glMatrixMode(GLenum mode)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    switch (mode) {
    case GL_MODELVIEW: gl->mode = 0; break;
    case GL_PROJECTION: gl->mode = 1; break;
    case GL_TEXTURE: gl->mode = 2; break;
    default: SetError(gl, GL_INVALID_ENUM); break;
    }
}

void APIENTRY glLoadIdentity(void)
{
    if (Context *gl = OutsideBegin()) {
        memcpy(Top(gl), IdentityMatrix, sizeof IdentityMatrix);
        MatrixChanged(gl);
    }
}

void APIENTRY glLoadMatrixf(const GLfloat *m)
{
    if (Context *gl = OutsideBegin()) {
        memcpy(Top(gl), m, 16 * sizeof(float));
        MatrixChanged(gl);
    }
}

void APIENTRY glPushMatrix(void)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (gl->depth[gl->mode] + 1 >= StackDepth[gl->mode]) {
        SetError(gl, GL_STACK_OVERFLOW);
        return;
    }
    const float *top = Top(gl);
    gl->depth[gl->mode]++;
    memcpy(Top(gl), top, 16 * sizeof(float));
}

void APIENTRY glPopMatrix(void)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (gl->depth[gl->mode] == 0) {
        SetError(gl, GL_STACK_UNDERFLOW);
        return;
    }
    gl->depth[gl->mode]--;
    MatrixChanged(gl);
}

void APIENTRY glTranslatef(GLfloat x, GLfloat y, GLfloat z)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    float *m = Top(gl);
    m[12] = m[0] * x + m[4] * y + m[8] * z + m[12];
    m[13] = m[1] * x + m[5] * y + m[9] * z + m[13];
    m[14] = m[2] * x + m[6] * y + m[10] * z + m[14];
    m[15] = m[3] * x + m[7] * y + m[11] * z + m[15];
    MatrixChanged(gl);
}

void APIENTRY glScalef(GLfloat x, GLfloat y, GLfloat z)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    float *m = Top(gl);
    m[0] *= x; m[4] *= y; m[8] *= z;
    m[1] *= x; m[5] *= y; m[9] *= z;
    m[2] *= x; m[6] *= y; m[10] *= z;
    m[3] *= x; m[7] *= y; m[11] *= z;
    MatrixChanged(gl);
}

void APIENTRY glRotatef(GLfloat angle, GLfloat x, GLfloat y, GLfloat z)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    const float s = float(sin(angle * M_PI / 180.0));
    const float c = float(cos(angle * M_PI / 180.0));
    float m[16];
    memcpy(m, IdentityMatrix, sizeof m);
#define M(row, col) m[(col) * 4 + (row)]
    if (x == 0.0f && y == 0.0f && z != 0.0f) {
        M(0, 0) = c;
        M(1, 1) = c;
        M(0, 1) = z < 0.0f ? s : -s;
        M(1, 0) = z < 0.0f ? -s : s;
    } else {
        const float magnitude = sqrtf(x * x + y * y + z * z);
        if (magnitude <= 1.0e-4f)
            return;
        x /= magnitude;
        y /= magnitude;
        z /= magnitude;
        const float xx = x * x, yy = y * y, zz = z * z, xy = x * y, yz = y * z, zx = z * x;
        const float xs = x * s, ys = y * s, zs = z * s, oneC = 1.0f - c;
        M(0, 0) = (oneC * xx) + c;
        M(0, 1) = (oneC * xy) - zs;
        M(0, 2) = (oneC * zx) + ys;
        M(1, 0) = (oneC * xy) + zs;
        M(1, 1) = (oneC * yy) + c;
        M(1, 2) = (oneC * yz) - xs;
        M(2, 0) = (oneC * zx) - ys;
        M(2, 1) = (oneC * yz) + xs;
        M(2, 2) = (oneC * zz) + c;
    }
#undef M
    MultiplyTop(gl, m);
}

void APIENTRY glOrtho(GLdouble left, GLdouble right, GLdouble bottom, GLdouble top, GLdouble zNear, GLdouble zFar)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (left == right || bottom == top || zNear == zFar) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    const float l = float(left), r = float(right), b = float(bottom), t = float(top), n = float(zNear), f = float(zFar);
    float m[16] = {};
    m[0] = 2.0f / (r - l);
    m[12] = -(r + l) / (r - l);
    m[5] = 2.0f / (t - b);
    m[13] = -(t + b) / (t - b);
    m[10] = -2.0f / (f - n);
    m[14] = -(f + n) / (f - n);
    m[15] = 1.0f;
    MultiplyTop(gl, m);
}

void APIENTRY glMultMatrixf(const GLfloat *m)
{
    if (Context *gl = OutsideBegin())
        MultiplyTop(gl, m);
}

void APIENTRY glMultMatrixd(const GLdouble *m)
{
    float single[16];
    for (int i = 0; i < 16; i++)
        single[i] = float(m[i]);
    glMultMatrixf(single);
}

void APIENTRY gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar)
{
    const double radians = fovy / 2 * M_PI / 180;
    const double deltaZ = zFar - zNear;
    const double sine = sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0)
        return;
    const double cotangent = cos(radians) / sine;
    double m[16] = {};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    glMultMatrixd(m);
}

// glEnable and glDisable: texturing is the subset's own state; depth test and blending are
// WebGL's too, after what was drawn under the old state is flushed.
static void SetCapability(GLenum cap, bool on)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    bool *flag;
    switch (cap) {
    case GL_TEXTURE_2D: gl->texture2D = on; return;
    case GL_TEXTURE_RECTANGLE_ARB: gl->textureRectangle = on; return;
    case GL_DEPTH_TEST: flag = &gl->depthTest; break;
    case GL_BLEND: flag = &gl->blend; break;
    default: SetError(gl, GL_INVALID_ENUM); return;
    }
    Flush(gl);
    *flag = on;
    if (on)
        emscripten_glEnable(cap);
    else
        emscripten_glDisable(cap);
}

void APIENTRY glEnable(GLenum cap)
{
    SetCapability(cap, true);
}

void APIENTRY glDisable(GLenum cap)
{
    SetCapability(cap, false);
}

GLboolean APIENTRY glIsEnabled(GLenum cap)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return GL_FALSE;
    switch (cap) {
    case GL_TEXTURE_2D: return gl->texture2D;
    case GL_TEXTURE_RECTANGLE_ARB: return gl->textureRectangle;
    case GL_DEPTH_TEST: return gl->depthTest;
    case GL_BLEND: return gl->blend;
    default: SetError(gl, GL_INVALID_ENUM); return GL_FALSE;
    }
}

void APIENTRY glDepthFunc(GLenum func)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if (func < GL_NEVER || func > GL_ALWAYS) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    emscripten_glDepthFunc(func);
}

void APIENTRY glDepthMask(GLboolean flag)
{
    if (ForStateChange())
        emscripten_glDepthMask(flag);
}

void APIENTRY glBlendFunc(GLenum sfactor, GLenum dfactor)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if (!KnownBlendFactor(sfactor) || !KnownBlendFactor(dfactor) || dfactor == GL_SRC_ALPHA_SATURATE) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    emscripten_glBlendFunc(sfactor, dfactor);
}

void APIENTRY glShadeModel(GLenum mode)
{
    Context *gl = OutsideBegin();
    if (gl && mode != GL_FLAT && mode != GL_SMOOTH)
        SetError(gl, GL_INVALID_ENUM);
}

void APIENTRY glHint(GLenum target, GLenum mode)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (target != GL_PERSPECTIVE_CORRECTION_HINT || mode < GL_DONT_CARE || mode > GL_NICEST)
        SetError(gl, GL_INVALID_ENUM);
}

void APIENTRY glGenTextures(GLsizei n, GLuint *textures)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (n < 0) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    for (GLsizei i = 0; i < n; i++) {
        while (gl->textures.count(gl->nextName) || gl->nextName == 0)
            gl->nextName++;
        textures[i] = gl->nextName;
        gl->textures[gl->nextName] = Texture();
        gl->nextName++;
    }
}

void APIENTRY glDeleteTextures(GLsizei n, const GLuint *textures)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if (n < 0) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    for (GLsizei i = 0; i < n; i++) {
        auto found = gl->textures.find(textures[i]);
        if (textures[i] == 0 || found == gl->textures.end())
            continue;
        if (found->second.webgl) {
            if (gl->webglTexture == found->second.webgl)
                gl->webglTexture = 0;
            emscripten_glDeleteTextures(1, &found->second.webgl);
        }
        if (gl->bound2D == textures[i])
            gl->bound2D = 0;
        if (gl->boundRectangle == textures[i])
            gl->boundRectangle = 0;
        gl->textures.erase(found);
    }
}

void APIENTRY glBindTexture(GLenum target, GLuint texture)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (target != GL_TEXTURE_2D && target != GL_TEXTURE_RECTANGLE_ARB) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    if (texture != 0) {
        Texture &record = gl->textures[texture]; // a name never generated is made by its first bind
        if (record.target != 0 && record.target != target) {
            SetError(gl, GL_INVALID_OPERATION);
            return;
        }
        if (record.target == 0) {
            record.target = target;
            emscripten_glGenTextures(1, &record.webgl);
            BindForWebGl(gl, record.webgl);
            if (target == GL_TEXTURE_RECTANGLE_ARB) {
                // The rectangle target's initial state: clamped to the edge, linear.
                emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
                emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
                emscripten_glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
                record.minFilter = GL_LINEAR;
            } else {
                record.minFilter = GL_NEAREST_MIPMAP_LINEAR;
            }
        }
    }
    // Whatever is batched was drawn with the texture it bound; the next glBegin decides anew.
    if (target == GL_TEXTURE_RECTANGLE_ARB)
        gl->boundRectangle = texture;
    else
        gl->bound2D = texture;
}

// The texture bound to `target` made WebGL's bound one, for a call on it; null (with the GL
// error set) for a target outside the subset or no texture bound.
static Texture *ForTextureCall(Context *gl, GLenum target)
{
    if (target != GL_TEXTURE_2D && target != GL_TEXTURE_RECTANGLE_ARB) {
        SetError(gl, GL_INVALID_ENUM);
        return nullptr;
    }
    Texture *texture = Bound(gl, target);
    if (!texture) {
        SetError(gl, GL_INVALID_OPERATION); // the default texture takes no images here
        return nullptr;
    }
    Flush(gl);
    BindForWebGl(gl, texture->webgl);
    return texture;
}

void APIENTRY glTexParameteri(GLenum target, GLenum pname, GLint param)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    Texture *texture = ForTextureCall(gl, target);
    if (!texture)
        return;
    const bool rectangle = target == GL_TEXTURE_RECTANGLE_ARB;
    switch (pname) {
    case GL_TEXTURE_MIN_FILTER:
        if (param != GL_NEAREST && param != GL_LINEAR &&
            (rectangle || param < GL_NEAREST_MIPMAP_NEAREST || param > GL_LINEAR_MIPMAP_LINEAR)) {
            SetError(gl, GL_INVALID_ENUM);
            return;
        }
        texture->minFilter = param;
        break;
    case GL_TEXTURE_MAG_FILTER:
        if (param != GL_NEAREST && param != GL_LINEAR) {
            SetError(gl, GL_INVALID_ENUM);
            return;
        }
        break;
    case GL_TEXTURE_WRAP_S:
    case GL_TEXTURE_WRAP_T:
        if (param == GL_CLAMP)
            param = GL_CLAMP_TO_EDGE;
        if (param != GL_CLAMP_TO_EDGE && (rectangle || param != GL_REPEAT)) {
            SetError(gl, GL_INVALID_ENUM);
            return;
        }
        break;
    default:
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    emscripten_glTexParameteri(GL_TEXTURE_2D, pname, param);
}

void APIENTRY glTexImage2D(GLenum target, GLint level, GLint internalformat, GLsizei width, GLsizei height,
                           GLint border, GLenum format, GLenum type, const GLvoid *pixels)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    const GLenum declared = WebGlFormat(internalformat);
    const int given = Components(format);
    if (!declared || !given || type != GL_UNSIGNED_BYTE) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    // Rectangle textures are kept as RGBA whatever their GL format: frames are copied into them,
    // and WebGL copies into RGBA quickly (into RGB, slowly). An RGB one reads alpha 1 all the same.
    const GLenum webglFormat = target == GL_TEXTURE_RECTANGLE_ARB && declared == GL_RGB ? GL_RGBA : declared;
    if (level < 0 || level > 31 || width < 0 || height < 0 || border != 0 ||
        (target == GL_TEXTURE_RECTANGLE_ARB && level != 0)) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    Texture *texture = ForTextureCall(gl, target);
    if (!texture)
        return;
    // Pixels in another layout than the texture's: RGB for RGBA and back are converted (alpha 1
    // added, or dropped); other pairs are not taken.
    std::vector<unsigned char> converted;
    const void *data = pixels;
    GLint alignment = gl->unpackAlignment;
    if (pixels && format != webglFormat) {
        const int wanted = Components(webglFormat);
        if (!((given == 3 && wanted == 4) || (given == 4 && wanted == 3))) {
            SetError(gl, GL_INVALID_OPERATION);
            return;
        }
        const size_t inRow = RowBytes(width, given, gl->unpackAlignment);
        converted.resize(size_t(width) * size_t(height) * size_t(wanted));
        const unsigned char *in = static_cast<const unsigned char *>(pixels);
        unsigned char *out = converted.data();
        for (GLsizei y = 0; y < height; y++) {
            const unsigned char *row = in + size_t(y) * inRow;
            for (GLsizei x = 0; x < width; x++, row += given, out += wanted) {
                out[0] = row[0];
                out[1] = row[1];
                out[2] = row[2];
                if (wanted == 4)
                    out[3] = 255;
            }
        }
        data = converted.data();
        alignment = 1;
        emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    }
    emscripten_glTexImage2D(GL_TEXTURE_2D, level, GLint(webglFormat), width, height, 0, webglFormat, GL_UNSIGNED_BYTE, data);
    if (alignment != gl->unpackAlignment)
        emscripten_glPixelStorei(GL_UNPACK_ALIGNMENT, gl->unpackAlignment);
    if (level == 0) {
        texture->width = width;
        texture->height = height;
        texture->format = webglFormat;
        texture->opaque = declared == GL_RGB || declared == GL_LUMINANCE;
        texture->levels = 0;
    }
    // A level counts when it has the size level 0 gives it.
    int expectedWidth = texture->width >> level, expectedHeight = texture->height >> level;
    if (expectedWidth < 1)
        expectedWidth = 1;
    if (expectedHeight < 1)
        expectedHeight = 1;
    if (width == expectedWidth && height == expectedHeight && webglFormat == texture->format)
        texture->levels |= 1u << level;
    else
        texture->levels &= ~(1u << level);
}

void APIENTRY glCopyTexImage2D(GLenum target, GLint level, GLenum internalformat, GLint x, GLint y, GLsizei width,
                               GLsizei height, GLint border)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    const GLenum webglFormat = WebGlFormat(GLint(internalformat));
    if (webglFormat != GL_RGB && webglFormat != GL_RGBA) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    if (level != 0 || width < 0 || height < 0 || border != 0) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    Texture *texture = ForTextureCall(gl, target);
    if (!texture)
        return;
    // Into an RGBA image of the size (made once, then reused): the frame has alpha, which an RGB
    // texture does not read.
    if (texture->format != GL_RGBA || texture->width != width || texture->height != height || !(texture->levels & 1))
        emscripten_glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    emscripten_glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, x, y, width, height);
    texture->width = width;
    texture->height = height;
    texture->format = GL_RGBA;
    texture->opaque = webglFormat == GL_RGB;
    texture->levels = 1;
}

void APIENTRY glPixelStorei(GLenum pname, GLint param)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    if (pname != GL_PACK_ALIGNMENT && pname != GL_UNPACK_ALIGNMENT) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    if (param != 1 && param != 2 && param != 4 && param != 8) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    if (pname == GL_PACK_ALIGNMENT)
        gl->packAlignment = param;
    else
        gl->unpackAlignment = param;
    emscripten_glPixelStorei(pname, param);
}

void APIENTRY glViewport(GLint x, GLint y, GLsizei width, GLsizei height)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if (width < 0 || height < 0) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    gl->viewport[0] = x;
    gl->viewport[1] = y;
    gl->viewport[2] = width;
    gl->viewport[3] = height;
    emscripten_glViewport(x, y, width, height);
}

void APIENTRY glClearColor(GLclampf red, GLclampf green, GLclampf blue, GLclampf alpha)
{
    if (ForStateChange())
        emscripten_glClearColor(Clamp01(red), Clamp01(green), Clamp01(blue), Clamp01(alpha));
}

void APIENTRY glClearDepth(GLclampd depth)
{
    if (ForStateChange())
        emscripten_glClearDepthf(Clamp01(float(depth)));
}

void APIENTRY glClear(GLbitfield mask)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if (mask & ~GLbitfield(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT)) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    emscripten_glClear(mask);
}

void APIENTRY glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type, GLvoid *pixels)
{
    Context *gl = ForStateChange();
    if (!gl)
        return;
    if ((format != GL_RGB && format != GL_RGBA) || type != GL_UNSIGNED_BYTE) {
        SetError(gl, GL_INVALID_ENUM);
        return;
    }
    if (width < 0 || height < 0) {
        SetError(gl, GL_INVALID_VALUE);
        return;
    }
    // WebGL reads RGBA rows packed to 4 bytes; the caller's layout is made from them.
    std::vector<unsigned char> rgba(size_t(width) * size_t(height) * 4);
    emscripten_glPixelStorei(GL_PACK_ALIGNMENT, 4);
    emscripten_glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    emscripten_glPixelStorei(GL_PACK_ALIGNMENT, gl->packAlignment);
    const int components = format == GL_RGBA ? 4 : 3;
    const size_t outRow = RowBytes(width, components, gl->packAlignment);
    unsigned char *out = static_cast<unsigned char *>(pixels);
    for (GLsizei row = 0; row < height; row++) {
        const unsigned char *in = rgba.data() + size_t(row) * size_t(width) * 4;
        unsigned char *to = out + size_t(row) * outRow;
        for (GLsizei column = 0; column < width; column++, in += 4, to += components)
            memcpy(to, in, size_t(components));
    }
}

void APIENTRY glFlush(void)
{
    if (ForStateChange())
        emscripten_glFlush();
}

void APIENTRY glFinish(void)
{
    if (ForStateChange())
        emscripten_glFinish();
}

GLenum APIENTRY glGetError(void)
{
    Context *gl = Current();
    if (!gl)
        return GL_NO_ERROR;
    GLenum error = gl->error;
    gl->error = GL_NO_ERROR;
    if (error != GL_NO_ERROR)
        return error;
    Flush(gl);
    return emscripten_glGetError();
}

const GLubyte *APIENTRY glGetString(GLenum name)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return nullptr;
    const char *text = nullptr;
    switch (name) {
    case GL_VENDOR: text = "kelvo"; break;
    case GL_RENDERER: text = "kelvo GL 1.1 subset on WebGL"; break;
    case GL_VERSION: text = "1.1 kelvo WebGL"; break;
    case GL_EXTENSIONS: text = Extensions(); break;
    default: SetError(gl, GL_INVALID_ENUM); break;
    }
    return reinterpret_cast<const GLubyte *>(text);
}

void APIENTRY glGetIntegerv(GLenum pname, GLint *params)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    switch (pname) {
    case GL_MAX_TEXTURE_SIZE: emscripten_glGetIntegerv(pname, params); break;
    case GL_VIEWPORT: memcpy(params, gl->viewport, sizeof gl->viewport); break;
    case GL_PACK_ALIGNMENT: *params = gl->packAlignment; break;
    case GL_UNPACK_ALIGNMENT: *params = gl->unpackAlignment; break;
    case GL_MATRIX_MODE: *params = GL_MODELVIEW + gl->mode; break;
    case GL_TEXTURE_BINDING_2D: *params = GLint(gl->bound2D); break;
    default: SetError(gl, GL_INVALID_ENUM); break;
    }
}

void APIENTRY glGetFloatv(GLenum pname, GLfloat *params)
{
    Context *gl = OutsideBegin();
    if (!gl)
        return;
    int stack;
    switch (pname) {
    case GL_MODELVIEW_MATRIX: stack = 0; break;
    case GL_PROJECTION_MATRIX: stack = 1; break;
    case GL_TEXTURE_MATRIX: stack = 2; break;
    default: SetError(gl, GL_INVALID_ENUM); return;
    }
    memcpy(params, gl->stacks[stack][gl->depth[stack]], 16 * sizeof(float));
}

} // extern "C"
