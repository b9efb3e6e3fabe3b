// The scene3d example's crystal model, as text, for the program that writes it at
// build time and for the benchmark.
#pragma once

#include <string>

namespace scene {

// The crystal in the text model format: an octahedron with eight coloured faces, in
// two keyframes (the second stretched upwards) that the program blends between.
inline std::string CrystalModelText() {
    const int faces[8][3] = {{2, 4, 0}, {2, 0, 5}, {2, 5, 1}, {2, 1, 4},   // positions: +x, -x, top,
                             {3, 0, 4}, {3, 5, 0}, {3, 1, 5}, {3, 4, 1}};  // bottom, +z, -z
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
    return text;
}

} // namespace scene
