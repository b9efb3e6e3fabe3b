// The renderer's texture-slot table: loading pictures into slots, binding,
// alpha copies and release.
#include <GL/gl.h>
#include <GL/glext.h>

#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "runtime/engine/engine_internal.h"
#include "runtime/gfx2d/bmp.h"
#include "runtime/gfx2d/gfx2d_internal.h"
#include "runtime/gfx2d/quad_batch.h"
#include "runtime/gfx2d/renderer.h"
#include "runtime/gfx2d/gl_entry_points.h"
#include "runtime/gfx2d/picture.h"
#include "runtime/platform/platform_files.h"
#include "runtime/values/media.h"

namespace corvane {

namespace {

// A slot number from the language: truncated toward zero; false outside the table.
bool SlotFromNumber(double value, int* slot) {
    if (!(value > -1.0 && value < double(Renderer::kSlotCount))) return false; // also NaN
    *slot = static_cast<int>(value);
    return true;
}

unsigned int SlotTexture(int slot, int mipmapped) {
    Renderer& r = TheRenderer();
    if (!IsValidSlot(slot)) return 0;
    // A slot without a mipmapped copy (fonts, grabbed sprites) is drawn from its
    // plain texture rather than from no texture at all.
    if (mipmapped && r.textureNames[slot][1] != 0) return r.textureNames[slot][1];
    return r.textureNames[slot][0];
}

} // namespace

bool IsValidSlot(int slot) { return slot >= 0 && slot < Renderer::kSlotCount; }

bool ResolveImagePath(const char* name, RtString& path) {
    // Images and fonts resolve through the second media context, in place in a
    // buffer of the resolver's size.
    path = name ? name : "";
    return ResolveMedia(MediaSource(1), path) != 0;
}

std::string PictureFailure(const char* name, const char* path) {
    // Unresolved: nothing by that name, or something that is not a file.
    if (!path) {
        std::string why = platform::ReadProblem(name);
        return why.empty() || why == "unreadable" ? "not found" : why;
    }
    std::string why = platform::ReadProblem(path);
    if (!why.empty()) return why;
    std::vector<std::uint8_t> file;
    if (!platform::ReadFileBytes(path, file)) return "unreadable";
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    return PictureProblem(file.data(), file.size(), maxSize);
}

int ProbeBmpSize(const char* path, int* width, int* height) {
    *width = 0;
    *height = 0;
    if (!path || !*path) return 0;
    std::FILE* f = platform::OpenFileForReading(path);
    if (!f) return 0;
    std::uint8_t head[54];
    const std::size_t got = std::fread(head, 1, sizeof head, f);
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    std::fclose(f);
    BmpHeader header;
    if (size < 0 || !ParseBmpHeader(head, got, std::uint64_t(size), &header)) return 0;
    *width = header.width;
    *height = header.height;
    return 1;
}

namespace {

// Decodes a picture file held in memory into new textures (see LoadPictureTexture).
bool UploadPicture(const std::vector<std::uint8_t>& file, int sourceX, int sourceY,
                   int width, int height, unsigned int* plainName, unsigned int* mipmapName, unsigned int keyColour,
                   bool keying, bool bump, bool nearest) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    PictureDecodeRequest request;
    request.sourceX = sourceX;
    request.sourceY = sourceY;
    request.width = width;
    request.height = height;
    request.keyColour = keyColour;
    request.keying = keying;
    request.maxTextureSize = maxSize > 0 ? maxSize : 1;
    PictureTexels texels;
    try {
        if (!DecodePicture(file.data(), file.size(), request, &texels)) return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    const int tw = texels.textureWidth, th = texels.textureHeight;
    std::uint8_t* rgba = texels.rgba.data();
    if (bump) BumpConvert(rgba, tw, th);

    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);

    ForgetBoundTexture();
    GLuint plain = 0;
    glGenTextures(1, &plain);
    glBindTexture(GL_TEXTURE_2D, plain);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    const GLint filter = nearest ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    *plainName = plain;

    if (mipmapName) {
        GLuint mip = 0;
        glGenTextures(1, &mip);
        glBindTexture(GL_TEXTURE_2D, mip);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, tw, th, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        int w = tw, h = th;
        for (int level = 1; w > 1 || h > 1; ++level) {
            ReduceMipmapLevel(rgba, w, h, &w, &h);
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
        }
        *mipmapName = mip;
    }
    return true;
}

} // namespace

bool LoadPictureTexture(const char* path, int sourceX, int sourceY, int width, int height,
                    unsigned int* plainName, unsigned int* mipmapName, unsigned int keyColour, bool keying,
                    bool bump, bool nearest) {
    std::vector<std::uint8_t> file;
    if (!platform::ReadFileBytes(path, file)) return false;
    return UploadPicture(file, sourceX, sourceY, width, height, plainName, mipmapName, keyColour, keying,
                         bump, nearest);
}

void FreeSlot(int slot) {
    Renderer& renderer = TheRenderer();
    if (!IsValidSlot(slot)) return;
    unsigned int* names = renderer.textureNames[slot];
    FlushQuads(); // pending quads may use the textures deleted here
    if (ContextReady()) {
        for (int i = 0; i < 2; ++i)
            if (names[i]) glDeleteTextures(1, &names[i]);
    }
    names[0] = names[1] = 0;
    // A deleted name may come back from the next glGenTextures.
    ForgetBoundTexture();
    renderer.textureWidth[slot] = -1;
    renderer.textureHeight[slot] = -1;
    renderer.alphaCopy[slot].reset();
}

int LoadImageIntoSlot(int slot, const char* path, unsigned int keyColour, int bump) {
    Renderer& renderer = TheRenderer();
    if (!IsValidSlot(slot)) return 0;
    FreeSlot(slot);
    // The file is read once; its headers give the sizes, then it is decoded.
    std::vector<std::uint8_t> file;
    if (!path || !*path || !platform::ReadFileBytes(path, file)) return 0;
    int w = 0, h = 0;
    if (!ProbePicture(file.data(), file.size(), &w, &h)) return 0;
    const int tw = TextureSideFor(w), th = TextureSideFor(h);
    unsigned int plain = 0, mip = 0;
    bool ok;
    if (slot < Renderer::kFirstFontSlot)
        ok = UploadPicture(file, 0, 0, 0, 0, &plain, &mip, keyColour, true, bump != 0, false);
    else
        ok = UploadPicture(file, 0, 0, 0, 0, &plain, nullptr, keyColour, true, false, true);
    if (!ok) return 0;
    renderer.textureNames[slot][0] = plain;
    renderer.textureNames[slot][1] = mip;
    renderer.textureWidth[slot] = tw;
    renderer.textureHeight[slot] = th;
    renderer.imageWidth[slot] = w;
    renderer.imageHeight[slot] = h;
    return 1;
}

void ForgetBoundTexture() {
    // Callers bind another texture next: the pending quads go with the one they were meant for.
    FlushQuads();
    TheRenderer().bindingKnown = 0;
}

void BindSlot(int slot, int secondSlot, int mipmapped) {
    Renderer& renderer = TheRenderer();
    // Slots beyond the table count as "no texture" here; the commands have
    // already refused them.
    if (slot >= Renderer::kSlotCount) slot = -1;
    if (secondSlot >= Renderer::kSlotCount) secondSlot = -1;
    PFNGLACTIVETEXTUREARBPROC active = gl::ActiveTexture();
    unsigned int unit0 = 0, unit1 = 0;
    if (slot >= 0) {
        unit0 = SlotTexture(active && secondSlot >= 0 ? secondSlot : slot, mipmapped);
        if (active && secondSlot >= 0) unit1 = SlotTexture(slot, mipmapped);
    }
    const bool same = renderer.bindingKnown && renderer.boundSlot == slot &&
                      renderer.boundSecondSlot == secondSlot && renderer.boundMipmapped == mipmapped &&
                      renderer.boundNames[0] == unit0 && renderer.boundNames[1] == unit1;
    renderer.boundSlot = slot;
    renderer.boundSecondSlot = secondSlot;
    renderer.boundMipmapped = mipmapped;
    if (same) return;
    FlushQuads();
    renderer.boundNames[0] = unit0;
    renderer.boundNames[1] = unit1;
    renderer.bindingKnown = 1;
    if (active) {
        active(GL_TEXTURE1_ARB);
        if (slot >= 0 && secondSlot >= 0) {
            glBindTexture(GL_TEXTURE_2D, unit1);
            glEnable(GL_TEXTURE_2D);
        } else {
            glDisable(GL_TEXTURE_2D);
        }
        active(GL_TEXTURE0_ARB);
        if (slot < 0) {
            glDisable(GL_TEXTURE_2D);
            return;
        }
        glBindTexture(GL_TEXTURE_2D, unit0);
        glEnable(GL_TEXTURE_2D);
    } else {
        if (slot < 0) {
            glDisable(GL_TEXTURE_2D);
            glEnable(GL_COLOR_MATERIAL);
            return;
        }
        glBindTexture(GL_TEXTURE_2D, unit0);
        glEnable(GL_TEXTURE_2D);
    }
}

const unsigned char* FetchAlphaCopy(int slot) {
    Renderer& renderer = TheRenderer();
    if (!IsValidSlot(slot)) return nullptr;
    if (renderer.alphaCopy[slot]) return renderer.alphaCopy[slot].get();
    const int tw = renderer.textureWidth[slot], th = renderer.textureHeight[slot];
    if (tw <= 0 || th <= 0 || renderer.textureNames[slot][0] == 0 || !ContextReady()) return nullptr;
    GLint previous = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous);
    std::unique_ptr<unsigned char[]> alpha(new unsigned char[std::size_t(tw) * th]);
    glBindTexture(GL_TEXTURE_2D, renderer.textureNames[slot][0]);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_ALPHA, GL_UNSIGNED_BYTE, alpha.get());
    glBindTexture(GL_TEXTURE_2D, GLuint(previous));
    renderer.alphaCopy[slot] = std::move(alpha);
    return renderer.alphaCopy[slot].get();
}

void FreeBackgroundBuffer(int buffer) {
    Renderer& renderer = TheRenderer();
    if (buffer < 0 || buffer >= Renderer::kBackgroundCount) return;
    Renderer::BackgroundBuffer& b = renderer.backgrounds[buffer];
    if (ContextReady()) {
        for (auto& column : b.tileNames)
            for (unsigned int& name : column)
                if (name) glDeleteTextures(1, &name);
    }
    b = Renderer::BackgroundBuffer{};
}

void FreeAllSlots() {
    for (int slot = 0; slot < Renderer::kSlotCount; ++slot) FreeSlot(slot);
    for (int n = 0; n < Renderer::kBackgroundCount; ++n) FreeBackgroundBuffer(n);
}

namespace {

double LoadIntoSlotCommand(const char* command, const RtString& file, double slotNumber, int bump) {
    int slot = 0;
    if (!SlotFromNumber(slotNumber, &slot)) return 0.0;
    RtString path;
    if (!ResolveImagePath(file.Buffer(), path)) {
        ReportFailure(command, file.Buffer(), PictureFailure(file.Buffer(), nullptr));
        return 0.0;
    }
    FreeSlot(slot);
    if (LoadImageIntoSlot(slot, path.Buffer(), kSpriteKeyColour, bump)) return 1.0;
    ReportFailure(command, file.Buffer(), PictureFailure(file.Buffer(), path.Buffer()));
    return 0.0;
}

} // namespace

double LoadSprite(const RtString& file, double slot) { return LoadIntoSlotCommand("LoadSprite", file, slot, 0); }

double LoadBumpTexture(const RtString& file, double slot) {
    return LoadIntoSlotCommand("LoadBumpTexture", file, slot, 1);
}

} // namespace corvane
