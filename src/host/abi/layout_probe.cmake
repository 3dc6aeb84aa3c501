# Writes a C++ source that holds the host declarations to layout.tsv: each class's size, alignment and bases,
# and that each is copied and assigned as a value (asking for that also makes a compiler declare the implicit
# members). Every build compiles it with its own compiler and standard library; check.sh compiles it for the
# Microsoft C++ ABI.
# cmake -DLAYOUT=<layout.tsv> -DHOST_DIR=<src/host> -DOUTPUT=<probe.cpp> -P layout_probe.cmake
cmake_minimum_required(VERSION 3.25)

# Our names for the host's rows: the plugin base class lives in its namespace, the descriptor record is ours.
function(cxx_name row out)
  if(row STREQUAL "BakkesModPlugin")
    set(${out} "BakkesMod::Plugin::BakkesModPlugin" PARENT_SCOPE)
  elseif(row STREQUAL "PluginInfo (exports)")
    set(${out} "PluginDescriptor" PARENT_SCOPE)
  else()
    set(${out} "${row}" PARENT_SCOPE)
  endif()
endfunction()

file(STRINGS ${LAYOUT} lines REGEX "^[^#]")
set(classes)
foreach(line IN LISTS lines)
  string(REPLACE "\t" ";" fields "${line}")
  list(GET fields 0 class)
  list(GET fields 1 base_of_${class})
  list(GET fields 2 size_of_${class})
  list(GET fields 3 align_of_${class})
  list(APPEND classes "${class}")
endforeach()

get_filename_component(host_dir "${HOST_DIR}" ABSOLUTE)
file(GLOB headers RELATIVE ${host_dir} ${host_dir}/*.h)
set(text "// Made by layout_probe.cmake from layout.tsv.\n")
foreach(header IN LISTS headers)
  string(APPEND text "#include \"${header}\"\n")
endforeach()
string(APPEND text "
// A failed check names the class, the host's figure and ours.
template <class T, unsigned long long Host, unsigned long long Ours = sizeof(T)>
struct SizeIsTheHosts {
  static_assert(Host == Ours, \"the size differs from the host's\");
  static constexpr bool value = true;
};
template <class T, unsigned long long Host, unsigned long long Ours = alignof(T)>
struct AlignmentIsTheHosts {
  static_assert(Host == Ours, \"the alignment differs from the host's\");
  static constexpr bool value = true;
};
")
foreach(class IN LISTS classes)
  cxx_name("${class}" c)
  string(APPEND text "\nstatic_assert(SizeIsTheHosts<${c}, ${size_of_${class}}>::value && "
                     "AlignmentIsTheHosts<${c}, ${align_of_${class}}>::value);\n"
                     "static_assert(__is_constructible(${c}, const ${c}&) && __is_assignable(${c}&, ${c}&&), "
                     "\"${class} is copied and assigned\");\n")
  set(ancestors)
  set(base "${base_of_${class}}")
  while(NOT base STREQUAL "-")
    list(APPEND ancestors "${base}")
    set(base "${base_of_${base}}")
  endwhile()
  foreach(other IN LISTS classes)
    if(other STREQUAL class)
      continue()
    endif()
    cxx_name("${other}" o)
    if(other IN_LIST ancestors)
      string(APPEND text "static_assert(__is_base_of(${o}, ${c}), \"${class} derives from ${other}\");\n")
    else()
      string(APPEND text "static_assert(!__is_base_of(${o}, ${c}), \"${class} does not derive from ${other}\");\n")
    endif()
  endforeach()
endforeach()
file(WRITE ${OUTPUT} "${text}")
