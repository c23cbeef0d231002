// Build tool: seal_update_strings INPUT OUTPUT. Turns the configured update-service settings into
// the generated source of qx_cipher. OUTPUT is written whole or not at all.
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "firmware/cipher/tools/seal.hpp"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: seal_update_strings INPUT OUTPUT\n";
    return 2;
  }
  const std::string output = argv[2];
  const std::string temporary = output + ".tmp";
  try {
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) throw std::runtime_error(std::string("cannot read ") + argv[1]);
    std::ostringstream text;
    text << in.rdbuf();
    const std::string source = sealer::generatedSource(sealer::parseSettings(text.str()));

    {
      std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
      out << source;
      out.close();
      if (!out) throw std::runtime_error("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) throw std::runtime_error("cannot rename to " + output);
  } catch (const std::exception& e) {
    std::remove(temporary.c_str());
    std::cerr << "seal_update_strings: " << e.what() << '\n';
    return 1;
  }
  return 0;
}
