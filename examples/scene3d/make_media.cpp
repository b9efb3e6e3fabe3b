// Writes the scene3d example's model: make_media DIR -> DIR/crystal.msha, an
// octahedron with eight coloured faces in the text model format, in two keyframes
// (the second stretched upwards) that the program blends between.
#include <cstdio>
#include <string>

#include "../common/media_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_media DIR\n");
        return 2;
    }
    // Positions: +x, -x, +y (top), -y (bottom), +z, -z.
    const int faces[8][3] = {{2, 4, 0}, {2, 0, 5}, {2, 5, 1}, {2, 1, 4},
                             {3, 0, 4}, {3, 5, 0}, {3, 1, 5}, {3, 4, 1}};
    const int colours[8][3] = {{255, 80, 80}, {255, 200, 60}, {120, 255, 90}, {70, 200, 255},
                               {200, 90, 255}, {255, 255, 255}, {255, 140, 200}, {90, 120, 255}};
    std::string text = "MSHA 1\n# texture coordinates\n0\n# polygons: colour, corners (position, uv)\n8\n";
    for (int f = 0; f < 8; ++f) {
        text += std::to_string(colours[f][0]) + " " + std::to_string(colours[f][1]) + " " +
                std::to_string(colours[f][2]) + " 3";
        for (int c = 0; c < 3; ++c) text += " " + std::to_string(faces[f][c]) + " 0";
        text += "\n";
    }
    text += "# frames of six positions\n2\n";
    for (double stretch : {1.0, 1.6}) {
        const double r = 12, h = 12 * stretch;
        const double positions[6][3] = {{r, 0, 0}, {-r, 0, 0}, {0, h, 0}, {0, -h, 0}, {0, 0, r}, {0, 0, -r}};
        text += "6\n";
        for (const auto& p : positions)
            text += std::to_string(p[0]) + " " + std::to_string(p[1]) + " " + std::to_string(p[2]) + "\n";
    }
    return media_writer::WriteText(std::string(argv[1]) + "/crystal.msha", text) ? 0 : 1;
}
