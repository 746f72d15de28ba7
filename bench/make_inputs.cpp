// Writes the inputs of the benchmarks into a folder: two large DOS sources,
// an include tree, a chain of nested includes and two tiny sources.  The
// same size always gives the same bytes, so runs on different machines
// compare.
//
//   make_inputs <folder> <size in MiB>
#include <sys/stat.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A fixed generator of our own: the standard distributions differ between
// libraries, and the inputs must not.
struct random_bytes {
  std::uint64_t state = 0x9E3779B97F4A7C15u;
};

std::uint64_t next(random_bytes& r) {
  std::uint64_t z = (r.state += 0x9E3779B97F4A7C15u);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
  return z ^ (z >> 31);
}

std::size_t below(random_bytes& r, std::size_t n) {
  return static_cast<std::size_t>(next(r) % n);
}

template <std::size_t N>
const char* pick(random_bytes& r, const char* const (&words)[N]) {
  return words[below(r, N)];
}

const char* const kMnemonics[] = {"mov",  "add", "sub",  "cmp", "jne", "je",   "call",
                                  "push", "pop", "lea",  "xor", "and", "or",   "shl",
                                  "inc",  "dec", "test", "ret", "jmp", "movzx"};
const char* const kOperands[] = {"eax, ebx",
                                 "ax, [bp+4]",
                                 "cx, 10",
                                 "dx, word ptr [si]",
                                 "[di], al",
                                 "esi, [ebp-8]",
                                 "bx, offset table",
                                 "al, 0Dh",
                                 "eax, [eax*4+ebx]",
                                 "sp, 2",
                                 "word ptr [bx+si+6], 0FFFFh"};
const char* const kWords[] = {"load",  "the",   "next",    "byte",    "of",     "buffer",   "and",
                              "check", "for",   "end",     "counter", "save",   "register", "state",
                              "table", "entry", "pointer", "loop",    "return", "value"};
const char* const kTypes[] = {"int", "long", "char *", "unsigned", "struct node *", "WORD"};

void add_words(random_bytes& r, std::string& out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += ' ';
    out += pick(r, kWords);
  }
}

void add_number(std::string& out, std::size_t n) {
  out += std::to_string(n);
}

// A line of data far longer than a line read takes at once.
void add_long_line(random_bytes& r, std::string& out, const char* lead, const char* sep) {
  out += lead;
  std::size_t count = 60 + below(r, 200);
  for (std::size_t i = 0; i < count; ++i) {
    if (i) out += sep;
    out += "0x";
    add_number(out, 10 + below(r, 89));
  }
}

// One line of an assembly source, without its line end.
void assembly_line(random_bytes& r, std::string& out, std::size_t& label) {
  std::size_t kind = below(r, 100);
  if (kind < 45) {
    out += '\t';
    out += pick(r, kMnemonics);
    out += '\t';
    out += pick(r, kOperands);
    if (below(r, 3) == 0) {
      out += "\t\t; ";
      add_words(r, out, 2 + below(r, 5));
    }
  } else if (kind < 63) {
    out += below(r, 2) ? "; " : "\t; ";
    add_words(r, out, 1 + below(r, 9));
  } else if (kind < 78) {
    if (below(r, 4) == 0) out += std::string(1 + below(r, 8), ' ');
  } else if (kind < 85) {
    out += "label_";
    add_number(out, ++label);
    out += ':';
  } else if (kind < 93) {
    out += below(r, 2) ? "\tassume\tcs:code, ds:data" : "\talign\t4";
  } else if (kind < 98) {
    out += ";-------------------------------------------------------------";
  } else {
    add_long_line(r, out, "\tdb\t", ", ");
  }
}

// One or more lines of a C source, line ends as line feeds.
void c_lines(random_bytes& r, std::string& out) {
  std::size_t kind = below(r, 100);
  if (kind < 40) {
    out += std::string(4 * (1 + below(r, 3)), ' ');
    out += pick(r, kWords);
    out += " = ";
    out += pick(r, kWords);
    out += "(";
    out += pick(r, kWords);
    out += ", ";
    add_number(out, below(r, 1000));
    out += ");";
    if (below(r, 5) == 0) {
      out += " /* ";
      add_words(r, out, 3);
      out += " */";
    }
    out += '\n';
  } else if (kind < 55) {
    out += "/*\n";
    for (std::size_t n = 1 + below(r, 8); n > 0; --n) {
      out += below(r, 6) ? " * " : "\n * ";
      add_words(r, out, 3 + below(r, 8));
      out += '\n';
    }
    out += " */\n";
  } else if (kind < 65) {
    out += "    /* ";
    add_words(r, out, 2 + below(r, 6));
    out += " */\n";
  } else if (kind < 72) {
    out += "    // ";
    add_words(r, out, 2 + below(r, 6));
    out += '\n';
  } else if (kind < 85) {
    out += below(r, 5) ? "\n" : "  \n";
  } else if (kind < 92) {
    out += "static ";
    out += pick(r, kTypes);
    out += ' ';
    out += pick(r, kWords);
    out += "_";
    add_number(out, below(r, 100000));
    out += "(void)\n{\n";
  } else if (kind < 98) {
    out += "}\n";
  } else {
    add_long_line(r, out, "static const unsigned char data[] = {", ", ");
    out += "};\n";
  }
}

bool write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool make_dir(const std::string& path) {
  return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

std::string dos(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// Streams a large DOS source to disk a chunk at a time.
template <typename MakeLines>
bool write_large(const std::string& path, std::uint64_t size, MakeLines make_lines) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::uint64_t written = 0;
  std::string text;
  bool ok = true;
  while (ok && written < size) {
    text.clear();
    while (text.size() < (1u << 20)) make_lines(text);
    std::string bytes = dos(text);
    // The last chunk ends at a whole line, at or just below the size.
    if (written + bytes.size() > size) {
      bytes.resize(bytes.rfind('\n', size - written) + 1);
      size = written + bytes.size();
    }
    ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written += bytes.size();
  }
  return std::fclose(f) == 0 && ok;
}

std::string two_digits(std::size_t n) {
  return std::string(1, static_cast<char>('0' + n / 10)) + static_cast<char>('0' + n % 10);
}

// main.asm includes 16 files, each of them 24, each of those 25: 10,000
// included files on three levels, all inside marked regions.
bool make_include_tree(const std::string& dir) {
  random_bytes r;
  std::size_t label = 0;
  const std::size_t fan[] = {16, 24, 25};
  bool ok = make_dir(dir) && make_dir(dir + "/inc");
  auto body = [&](std::string& text, std::size_t lines) {
    for (std::size_t i = 0; i < lines; ++i) {
      assembly_line(r, text, label);
      text += '\n';
    }
  };
  // name: "" for main.asm, else "inc/03", "inc/03/17", "inc/03/17/24".
  auto write_level = [&](auto& self, const std::string& name, std::size_t level) -> void {
    std::string text;
    body(text, 10);
    if (level < 3) {
      text += ";BEGIN EXPAND INCLUDE\n";
      for (std::size_t i = 0; i < fan[level]; ++i) {
        std::string child = (name.empty() ? "inc" : name) + "/" + two_digits(i);
        text += "include \"" + child + ".inc\"\n";
        if (level < 2) ok = ok && make_dir(dir + "/" + child);
        self(self, child, level + 1);
      }
      text += ";END EXPAND INCLUDE\n";
      body(text, 5);
    }
    ok = ok && write_bytes(dir + "/" + (name.empty() ? "main.asm" : name + ".inc"), dos(text));
  };
  write_level(write_level, "", 0);
  return ok;
}

// A chain of 64 nested includes, the deepest srcsplice takes, each file
// long enough to fill the reader's block of its level.
bool make_include_chain(const std::string& dir) {
  random_bytes r;
  std::size_t label = 0;
  bool ok = make_dir(dir);
  for (std::size_t level = 0; level <= 64; ++level) {
    std::string text;
    for (std::size_t i = 0; i < 1000; ++i) {
      assembly_line(r, text, label);
      text += '\n';
    }
    if (level < 64) {
      text += ";BEGIN EXPAND INCLUDE\ninclude \"d" + two_digits(level + 1) + ".inc\"\n";
      text += ";END EXPAND INCLUDE\n";
    }
    const std::string name = level == 0 ? "main.asm" : "d" + two_digits(level) + ".inc";
    ok = ok && write_bytes(dir + "/" + name, dos(text));
  }
  return ok;
}

bool make_tiny_inputs(const std::string& dir) {
  const std::string source = "; tiny\n\tmov\tax, 1\n\n/* x */\n\tret\n";
  return write_bytes(dir + "/tiny.asm", dos(source)) && write_bytes(dir + "/tiny.c", dos(source));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_inputs <folder> <size in MiB>\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::uint64_t size = std::strtoull(argv[2], nullptr, 10) << 20;
  bool ok = make_dir(dir);
  random_bytes asm_random;
  std::size_t label = 0;
  ok = ok && write_large(dir + "/big.asm", size, [&](std::string& text) {
         assembly_line(asm_random, text, label);
         text += '\n';
       });
  random_bytes c_random;
  ok = ok && write_large(dir + "/big.c", size, [&](std::string& text) { c_lines(c_random, text); });
  ok = ok && make_include_tree(dir + "/tree") && make_include_chain(dir + "/chain") &&
       make_tiny_inputs(dir);
  if (!ok) {
    std::perror("make_inputs");
    return 1;
  }
  return 0;
}
