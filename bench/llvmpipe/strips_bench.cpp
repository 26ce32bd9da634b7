// The triangle strips of console_bench's triangle benchmarks drawn through
// OpenGL ES 2 on an off-screen EGL context, for a side-by-side figure from
// whatever GL implementation EGL finds (on a machine without a GPU, Mesa's
// llvmpipe).  The same screen of quads (640 x 512, quads of 4, 8, 16 or 32
// pixels: triangles of 8, 32, 128 and 512 pixels, one strip per row of
// quads), the same per-vertex colours, Z (a 24-bit buffer, GEQUAL, written)
// and perspective (Q from 1 at the left to 1/4 at the right, S/Q and T/Q
// interpolated perspective-correct), the same 256 x 256 texture, bilinear and
// repeating, modulated by the colour.  Each iteration draws the screen and
// waits for it (glFinish); items per second are pixels.
//
// Built for the host's own architecture, outside the 32-bit build, when its
// EGL, GLES 2 and Google Benchmark libraries are there (bench/CMakeLists.txt):
//   LP_NUM_THREADS=0 build/bench/llvmpipe_bench   (llvmpipe on the calling thread)
//   build/bench/llvmpipe_bench                    (its default: a thread a core)
#include <benchmark/benchmark.h>
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GLES2/gl2.h>
#include <GLES2/gl2ext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 640, kHeight = 512;

[[noreturn]] void Fail(const char* what)
{
    std::fprintf(stderr, "llvmpipe_bench: %s (EGL 0x%X, GL 0x%X)\n", what, eglGetError(), glGetError());
    std::exit(1);
}

GLuint Shader(GLenum kind, const char* text)
{
    const GLuint s = glCreateShader(kind);
    glShaderSource(s, 1, &text, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[1024];
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        std::fprintf(stderr, "%s\n", log);
        Fail("shader does not compile");
    }
    return s;
}

// Position (x, y in pixels, Z as the 24-bit value, Q), S/Q and T/Q, colour.
struct Vertex {
    float x, y, z, q, s, t;
    unsigned char rgba[4];
};

// The context, frame buffer, texture and both programs, made once for the
// whole run (llvmpipe reads LP_NUM_THREADS when its screen is made).
class Context {
public:
    static Context& Get()
    {
        static Context c;
        return c;
    }

    // Draws the screen of `quad`-pixel quads and waits for it.
    void DrawScreen(bool textured, int quad)
    {
        glUseProgram(textured ? textured_ : gouraud_);
        const Strips& s = StripsOf(quad);
        glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, x)));
        glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(offsetof(Vertex, s)));
        glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex),
                              reinterpret_cast<void*>(offsetof(Vertex, rgba)));
        for (const auto& [first, count] : s.strips)
            glDrawArrays(GL_TRIANGLE_STRIP, first, count);
        glFinish();
        if (glGetError() != GL_NO_ERROR)
            Fail("GL error while drawing");
    }

    std::string Renderer() const { return reinterpret_cast<const char*>(glGetString(GL_RENDERER)); }

private:
    struct Strips {
        GLuint buffer = 0;
        std::vector<std::pair<GLint, GLsizei>> strips;
    };

    Context()
    {
        auto get_display =
            reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(eglGetProcAddress("eglGetPlatformDisplayEXT"));
        display_ = get_display ? get_display(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr)
                               : eglGetDisplay(EGL_DEFAULT_DISPLAY);
        if (display_ == EGL_NO_DISPLAY || !eglInitialize(display_, nullptr, nullptr))
            Fail("no EGL display");
        // No surface is drawn: a context without a config when the display
        // offers none.
        const EGLint config_attribs[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_ES2_BIT, EGL_SURFACE_TYPE, 0, EGL_NONE};
        EGLConfig config = EGL_NO_CONFIG_KHR;
        EGLint configs = 0;
        if (!eglChooseConfig(display_, config_attribs, &config, 1, &configs) || configs == 0)
            config = EGL_NO_CONFIG_KHR;
        eglBindAPI(EGL_OPENGL_ES_API);
        const EGLint context_attribs[] = {EGL_CONTEXT_CLIENT_VERSION, 2, EGL_NONE};
        const EGLContext context = eglCreateContext(display_, config, EGL_NO_CONTEXT, context_attribs);
        if (context == EGL_NO_CONTEXT || !eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, context))
            Fail("no GLES 2 context");

        GLuint colour, depth, fbo;
        glGenRenderbuffers(1, &colour);
        glBindRenderbuffer(GL_RENDERBUFFER, colour);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8_OES, kWidth, kHeight);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24_OES, kWidth, kHeight);
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            Fail("incomplete frame buffer");
        glViewport(0, 0, kWidth, kHeight);

        // The texture: console_bench's generator's values.
        std::vector<unsigned> texels(256 * 256);
        unsigned seed = 12345;
        for (unsigned& t : texels) {
            seed = seed * 1664525u + 1013904223u;
            t = seed | 0x80000000u;
        }
        GLuint texture;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 256, 256, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);

        // Clip W is 1 / Q, so that S/Q and T/Q given at the vertices come
        // out of perspective-correct interpolation as S and T stepped over Q.
        const char* vs =
            "attribute vec4 pos; attribute vec2 st; attribute vec4 rgba;\n"
            "varying vec2 v_st; varying vec4 v_rgba;\n"
            "void main() {\n"
            "  float w = 1.0 / pos.w;\n"
            "  gl_Position = vec4((pos.x / 320.0 - 1.0) * w, (1.0 - pos.y / 256.0) * w,\n"
            "                     (pos.z / 8388608.0 - 1.0) * w, w);\n"
            "  v_st = st; v_rgba = rgba;\n"
            "}\n";
        const char* fs_textured =
            "precision mediump float; uniform sampler2D tex; varying vec2 v_st; varying vec4 v_rgba;\n"
            "void main() { gl_FragColor = texture2D(tex, v_st) * v_rgba * 2.0; }\n";
        const char* fs_gouraud = "precision mediump float; varying vec2 v_st; varying vec4 v_rgba;\n"
                                 "void main() { gl_FragColor = v_rgba; }\n";
        textured_ = Program(vs, fs_textured);
        gouraud_ = Program(vs, fs_gouraud);
        for (GLuint a = 0; a < 3; ++a)
            glEnableVertexAttribArray(a);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_GEQUAL);
        glClearDepthf(0.0f);
        glClearColor(0, 0, 0, 0);
        // Cleared once, as console_bench's screen is: every strip's Z is
        // equal to or above what the last drawing left.
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    }

    static GLuint Program(const char* vs, const char* fs)
    {
        const GLuint program = glCreateProgram();
        glAttachShader(program, Shader(GL_VERTEX_SHADER, vs));
        glAttachShader(program, Shader(GL_FRAGMENT_SHADER, fs));
        glBindAttribLocation(program, 0, "pos");
        glBindAttribLocation(program, 1, "st");
        glBindAttribLocation(program, 2, "rgba");
        glLinkProgram(program);
        GLint ok = 0;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (!ok)
            Fail("program does not link");
        return program;
    }

    // console_bench's DrawScreen strips: a row of quads a strip, Q from 1
    // to 1/4 across.
    const Strips& StripsOf(int quad)
    {
        auto& s = strips_[quad];
        if (s.buffer != 0)
            return s;
        std::vector<Vertex> vertices;
        unsigned z = 0x100000;
        for (int y = 0; y < kHeight; y += quad) {
            const GLint first = static_cast<GLint>(vertices.size());
            for (int x = 0;; x += quad) {
                const float q = 1.0f - 0.75f * static_cast<float>(x) / kWidth;
                for (int row = 0; row < 2; ++row) {
                    const int yy = y + row * quad;
                    Vertex v{static_cast<float>(x),
                             static_cast<float>(yy),
                             static_cast<float>(z),
                             q,
                             static_cast<float>(x) / 128.0f,
                             static_cast<float>(yy) / 128.0f,
                             {0x80, static_cast<unsigned char>(x & 0x7F), static_cast<unsigned char>(yy & 0x7F), 0x80}};
                    vertices.push_back(v);
                }
                if (x >= kWidth)
                    break;
            }
            s.strips.emplace_back(first, static_cast<GLsizei>(vertices.size()) - first);
            ++z;
        }
        glGenBuffers(1, &s.buffer);
        glBindBuffer(GL_ARRAY_BUFFER, s.buffer);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(Vertex)), vertices.data(),
                     GL_STATIC_DRAW);
        return s;
    }

    EGLDisplay display_ = EGL_NO_DISPLAY;
    GLuint textured_ = 0, gouraud_ = 0;
    std::map<int, Strips> strips_;
};

void Strips(benchmark::State& state, bool textured, const char* what)
{
    Context& gl = Context::Get();
    const int quad = static_cast<int>(state.range(0));
    gl.DrawScreen(textured, quad);  // the shaders compiled, the caches warm
    for (auto _ : state)
        gl.DrawScreen(textured, quad);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * kWidth * kHeight);
    const char* threads = std::getenv("LP_NUM_THREADS");
    state.SetLabel(gl.Renderer() + ", " + what + " " + std::to_string(quad * quad / 2) +
                   "-pixel triangles, LP_NUM_THREADS=" + (threads ? threads : "(unset)"));
}

void BM_LlvmpipeTextured(benchmark::State& state)
{
    Strips(state, true, "STQ bilinear MODULATE Z24 GEQUAL,");
}
BENCHMARK(BM_LlvmpipeTextured)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LlvmpipeGouraud(benchmark::State& state)
{
    Strips(state, false, "Gouraud Z24 GEQUAL,");
}
BENCHMARK(BM_LlvmpipeGouraud)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
