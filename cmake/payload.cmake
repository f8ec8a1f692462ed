# The platform-tools files the bridge holds as constant data, and the test
# programs that exercise provisioning. Included from the top CMakeLists.txt
# once bridge_core is defined.
#
# TALVIK_PAYLOAD_DIR names a folder with the files: adb.exe, AdbWinApi.dll
# and AdbWinUsbApi.dll for a Windows build (adb, without .exe, for a Linux
# build). bridge_core holds each of them that is there: the assembler reads
# them with .incbin from a generated payload_data.S, so the build stays fast
# and no generated source grows with them. Without any, bridge_core holds
# none and install_payloads writes nothing; that is the Linux build's usual
# case, since it relies on the system's adb.

set(TALVIK_PAYLOAD_DIR "${CMAKE_CURRENT_SOURCE_DIR}/payload/files" CACHE PATH
  "Folder with the platform-tools files the bridge holds and writes out: adb, AdbWinApi.dll, AdbWinUsbApi.dll")

# File names in TALVIK_PAYLOAD_DIR, which are also the names written into
# platform-tools, in the order of payload/payload.h; and the labels of their
# bytes. Only adb is a program.
set(talvik_payload_names "adb${CMAKE_EXECUTABLE_SUFFIX}" AdbWinApi.dll AdbWinUsbApi.dll)
set(talvik_payload_keys adb winapi winusbapi)

# Those of talvik_payload_names that are files in `folder`, into `out_var`.
function(talvik_payload_found out_var folder)
  set(found)
  foreach(name IN LISTS talvik_payload_names)
    if(NOT folder STREQUAL "" AND EXISTS "${folder}/${name}" AND NOT IS_DIRECTORY "${folder}/${name}")
      list(APPEND found "${name}")
    endif()
  endforeach()
  set(${out_var} "${found}" PARENT_SCOPE)
endfunction()

# Generates into `out_dir` the sources that hold the files of `folder` that
# talvik_payload_found finds, and sets `out_var` to them: held_payloads.cpp
# (the table) and, when it holds any, payload_data.S (the bytes). The ASM
# language must be enabled before a folder with files is given.
function(talvik_payload_sources out_var out_dir folder)
  talvik_payload_found(found "${folder}")
  set(TALVIK_PAYLOAD_DECLARATIONS "")
  set(TALVIK_PAYLOAD_ENTRIES "")
  set(TALVIK_PAYLOAD_INCBINS "")
  set(files)
  foreach(name key IN ZIP_LISTS talvik_payload_names talvik_payload_keys)
    if(NOT name IN_LIST found)
      continue()
    endif()
    set(file "${folder}/${name}")
    list(APPEND files "${file}")
    # A string for the assembler: backslashes and quotes escaped.
    string(REPLACE "\\" "\\\\" quoted "${file}")
    string(REPLACE "\"" "\\\"" quoted "${quoted}")
    set(executable false)
    if(key STREQUAL "adb")
      set(executable true)
    endif()
    string(APPEND TALVIK_PAYLOAD_DECLARATIONS
      "extern const unsigned char ${key}_begin[] __asm__(\"talvik_payload_${key}_begin\");\n"
      "extern const unsigned char ${key}_end[] __asm__(\"talvik_payload_${key}_end\");\n")
    string(APPEND TALVIK_PAYLOAD_ENTRIES "    {\"${name}\", ${key}_begin, ${key}_end, ${executable}},\n")
    string(APPEND TALVIK_PAYLOAD_INCBINS
      "\n  .balign 16\n"
      "  .globl talvik_payload_${key}_begin\n"
      "  .globl talvik_payload_${key}_end\n"
      "talvik_payload_${key}_begin:\n"
      "  .incbin \"${quoted}\"\n"
      "talvik_payload_${key}_end:\n")
  endforeach()
  list(LENGTH found TALVIK_PAYLOAD_COUNT)
  set(sources "${out_dir}/held_payloads.cpp")
  if(found)
    list(JOIN found ", " names)
    set(TALVIK_PAYLOAD_NOTE "Holds ${names} from ${folder}.")
    configure_file("${CMAKE_SOURCE_DIR}/payload/payload_data.S.in" "${out_dir}/payload_data.S" @ONLY)
    # .incbin files are not in the assembler's dependency output.
    set_source_files_properties("${out_dir}/payload_data.S" PROPERTIES OBJECT_DEPENDS "${files}")
    list(APPEND sources "${out_dir}/payload_data.S")
  else()
    set(TALVIK_PAYLOAD_NOTE "Holds no files.")
    file(REMOVE "${out_dir}/payload_data.S")
  endif()
  configure_file("${CMAKE_SOURCE_DIR}/payload/held_payloads.cpp.in" "${out_dir}/held_payloads.cpp" @ONLY)
  set(${out_var} "${sources}" PARENT_SCOPE)
endfunction()

# ---- The files bridge_core holds ------------------------------------------

if(IS_DIRECTORY "${TALVIK_PAYLOAD_DIR}")
  # Files added to or removed from the folder configure the build again.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${TALVIK_PAYLOAD_DIR}")
endif()
talvik_payload_found(talvik_payload_held "${TALVIK_PAYLOAD_DIR}")
set(talvik_payload_missing)
foreach(name IN LISTS talvik_payload_names)
  if(NOT name IN_LIST talvik_payload_held)
    list(APPEND talvik_payload_missing "${name}")
  endif()
endforeach()

# One line that says what this build holds.
list(JOIN talvik_payload_names ", " talvik_names_text)
if(NOT talvik_payload_held)
  set(talvik_payload_message
    "Payload: none held (no ${talvik_names_text} in ${TALVIK_PAYLOAD_DIR}); the bridge writes no platform-tools files.")
else()
  list(JOIN talvik_payload_held ", " talvik_held_text)
  set(talvik_payload_message "Payload: holding ${talvik_held_text} from ${TALVIK_PAYLOAD_DIR}.")
  if(talvik_payload_missing)
    list(JOIN talvik_payload_missing ", " talvik_missing_text)
    string(APPEND talvik_payload_message " Missing there: ${talvik_missing_text}.")
  endif()
  enable_language(ASM)
endif()
if(WIN32 AND talvik_payload_missing)
  # The Windows bridge is meant to carry adb and both libraries: a plain
  # line on standard error, so that it shows even when the rest is hidden.
  message(NOTICE "${talvik_payload_message} A release build needs all three there.")
else()
  message(STATUS "${talvik_payload_message}")
endif()
talvik_payload_sources(talvik_payload_sources_held "${CMAKE_BINARY_DIR}/payload/held" "${TALVIK_PAYLOAD_DIR}")
target_sources(bridge_core PRIVATE ${talvik_payload_sources_held})

# ---- Test programs ----------------------------------------------------------

if(TALVIK_BUILD_TESTS)
  # A second bridge that holds synthetic files of the real files' sizes, for
  # the end-to-end payload tests. Its own held_payloads.cpp and payload_data.S
  # are linked as objects, ahead of bridge_core: they define held_payloads(),
  # so the linker never takes bridge_core's table (or its bytes) from the
  # archive. Everything else is bridge_core's.
  #
  # The synthetic files are made here, at configure time, by a small program
  # built for the build host (also when cross-compiling), so that both builds
  # have them before anything is assembled.
  set(talvik_synthetic_dir "${CMAKE_BINARY_DIR}/payload/synthetic")
  set(talvik_synthetic_stamp "${talvik_synthetic_dir}/made")
  set(talvik_synthetic_inputs
    "${CMAKE_SOURCE_DIR}/tests/fixtures/provision/make_synthetic_payload.cpp"
    "${CMAKE_SOURCE_DIR}/tests/fixtures/provision/synthetic_payload.h")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${talvik_synthetic_inputs})

  set(talvik_synthetic_ok TRUE)
  set(talvik_synthetic_fresh TRUE)
  foreach(input IN LISTS talvik_synthetic_inputs)
    if(NOT EXISTS "${talvik_synthetic_stamp}" OR "${input}" IS_NEWER_THAN "${talvik_synthetic_stamp}")
      set(talvik_synthetic_fresh FALSE)
    endif()
  endforeach()
  if(NOT talvik_synthetic_fresh)
    if(CMAKE_CROSSCOMPILING)
      find_program(TALVIK_HOST_CXX NAMES c++ g++ clang++ DOC "C++ compiler for programs run on the build host")
      set(talvik_host_cxx "${TALVIK_HOST_CXX}")
    else()
      set(talvik_host_cxx "${CMAKE_CXX_COMPILER}")
    endif()
    file(MAKE_DIRECTORY "${talvik_synthetic_dir}")
    set(talvik_maker "${talvik_synthetic_dir}/make_synthetic_payload")
    execute_process(
      COMMAND "${talvik_host_cxx}" -std=c++17 -O2 "-I${CMAKE_SOURCE_DIR}" -o "${talvik_maker}"
              "${CMAKE_SOURCE_DIR}/tests/fixtures/provision/make_synthetic_payload.cpp"
      RESULT_VARIABLE talvik_rc OUTPUT_QUIET ERROR_VARIABLE talvik_err)
    if(talvik_rc EQUAL 0)
      execute_process(COMMAND "${talvik_maker}" "${talvik_synthetic_dir}" ${talvik_payload_names}
                      RESULT_VARIABLE talvik_rc ERROR_VARIABLE talvik_err)
    endif()
    if(talvik_rc EQUAL 0)
      file(TOUCH "${talvik_synthetic_stamp}")
    else()
      message(WARNING "Payload: could not make the synthetic payload files (${talvik_rc}): ${talvik_err}"
                      "talvik-web-bridge-payload-test is not built.")
      set(talvik_synthetic_ok FALSE)
    endif()
  endif()

  if(talvik_synthetic_ok)
    enable_language(ASM)
    talvik_payload_sources(talvik_payload_sources_synthetic
      "${CMAKE_BINARY_DIR}/payload/synthetic-sources" "${talvik_synthetic_dir}")
    add_executable(talvik-web-bridge-payload-test server/main.cpp ${talvik_payload_sources_synthetic})
    target_link_libraries(talvik-web-bridge-payload-test PRIVATE bridge_core)
    if(WIN32)
      target_link_options(talvik-web-bridge-payload-test PRIVATE
        -static -static-libgcc -static-libstdc++ -Wl,--stack,8388608)
    endif()
  endif()

  # Runs provisioning steps from wherever it is copied; beside the tool
  # double, where the end-to-end tests look for test programs.
  add_executable(provisioning_driver tests/fixtures/provision/provisioning_driver.cpp)
  target_link_libraries(provisioning_driver PRIVATE bridge_core)
  set_target_properties(provisioning_driver PROPERTIES RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}/tests")
endif()
