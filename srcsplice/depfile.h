// The dependency file of a run: the rule that make and Ninja (deps = gcc)
// read to learn which files the destination was made from, so that a build
// makes it again when an included file changes.
#ifndef KIT_SRCSPLICE_DEPFILE_H_
#define KIT_SRCSPLICE_DEPFILE_H_

#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "srcsplice/srcsplice.h"

// The files a run read, each once, in the order first read.
struct dependency_list {
  std::vector<std::string> paths;
  std::unordered_set<std::string> seen;
};

void add_dependency(dependency_list& list, const std::string& path);

// Takes "--depfile=FILE", or "--depfile FILE", when it is the first
// argument: the count of arguments taken (0 without it), after which the
// operands follow.
int take_depfile_option(int argc, char** argv, std::optional<std::string>* depfile);

// The name as make and Ninja both read it back, or false when no writing
// gives both the same name.
bool escape_dependency_name(std::string_view name, std::string* escaped);

// The rule "target: inputs...", then a rule of its own for each input after
// the first, so that make does not stop when one is no longer there.
// Lines end in a lone line feed.  False when a name cannot be written.
bool dependency_text(const std::string& target, const dependency_list& inputs, std::string* text);

// Writes the text to the file at path as the destination is written: a
// fresh file replaces it only once complete.  Refuses a path that names the
// target or an input.
splice_failure write_dependency_file(const std::string& path, const std::string& target,
                                     const dependency_list& inputs);

#endif  // KIT_SRCSPLICE_DEPFILE_H_
