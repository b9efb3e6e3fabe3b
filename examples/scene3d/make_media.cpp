// Writes the scene3d example's model: make_media DIR -> DIR/crystal.msha (text format).
#include <cstdio>
#include <string>

#include "../common/media_writer.h"
#include "crystal_model.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_media DIR\n");
        return 2;
    }
    return media_writer::WriteText(std::string(argv[1]) + "/crystal.msha", scene::CrystalModelText()) ? 0 : 1;
}
