# The outside tools that the kit's own build can do without.  Each one found
# is in KIT_<NAME> (its path, empty when missing) for the tests and the
# demonstration, which leave out what needs a missing one and say so.
# Configure prints one line naming the missing tools, what each would add
# and the packages that bring them.  Looked up afresh at every configure,
# so a tool installed or removed since is noticed; -DKIT_<NAME>=<path>
# names one by hand.

set(kit_missing_tools "")
set(kit_missing_packages "")

# kit_optional_tool(<NAME> <program> "<packages>" "<what it adds>")
macro(kit_optional_tool name program packages adds)
  find_program(KIT_${name} ${program} NO_CACHE)
  if(NOT KIT_${name})
    set(KIT_${name} "")
    list(APPEND kit_missing_tools "${program} (${adds})")
    separate_arguments(kit_packages UNIX_COMMAND "${packages}")
    list(APPEND kit_missing_packages ${kit_packages})
  endif()
endmacro()

kit_optional_tool(MAKE make make "the demonstration, the test example_build and a test of srcsplice's dependency file")
kit_optional_tool(NINJA ninja ninja-build "a test of srcsplice's dependency file")
kit_optional_tool(NASM nasm nasm "the DOS program of the demonstration and an assembler test")
kit_optional_tool(STRIP strip binutils "the COFF program of the demonstration and a link test with the real gcc")
kit_optional_tool(GROFF groff groff-base "the tests of the manual pages")
kit_optional_tool(STRACE strace strace "the tests of failing reads, interrupts and races")
kit_optional_tool(UNSHARE unshare util-linux "a test, run as root, of a folder that takes no new file")
kit_optional_tool(MINGW x86_64-w64-mingw32-g++-posix g++-mingw-w64-x86-64 "the windows preset")
kit_optional_tool(WINE wine "wine wine64" "the tests of the windows preset")
kit_optional_tool(CLANG clang++ "clang libclang-rt-dev" "fuzz/run.sh")
kit_optional_tool(HYPERFINE hyperfine hyperfine "bench/run.sh")

if(kit_missing_tools)
  list(REMOVE_DUPLICATES kit_missing_packages)
  list(JOIN kit_missing_tools ", " kit_tools_text)
  list(JOIN kit_missing_packages " " kit_packages_text)
  message(STATUS "Optional tools missing: ${kit_tools_text}. "
                 "To add them: apt-get install -y ${kit_packages_text}")
else()
  message(STATUS "Optional tools: all found")
endif()
