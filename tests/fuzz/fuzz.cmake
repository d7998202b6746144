# Fuzz targets. Each target is one LLVMFuzzerTestOneInput in a file of its own, with its
# seed corpus in tests/data/fuzz/<target>/.
#
# In every build each target is also a plain program (CorpusMain.cpp runs it once on
# each file it is given), and every corpus file is a ctest case, so the rules the
# targets hold are checked with any compiler. With VEXIL_FUZZ (the fuzz preset: clang,
# libFuzzer, AddressSanitizer and UBSan) each target is also built as <target>_fuzzer;
# scripts/fuzz.sh runs them.
option(VEXIL_FUZZ "Build the libFuzzer targets (clang only)" OFF)

set(VEXIL_FUZZ_TARGETS
  status_decoder:StatusDecoderFuzz.cpp:vexil_messaging
  integer_text:IntegerTextFuzz.cpp:vexil_messaging
  ini_reader:IniReaderFuzz.cpp:vexil_ini
  device_model:DeviceModelFuzz.cpp:vexil_sim
  instruction_text:InstructionTextFuzz.cpp:vexil_instructions
  stream_analyser:StreamAnalyserFuzz.cpp:vexil_stream
)
if(NOT WIN32)  # the round trip writes through a temporary folder (mkdtemp)
  list(APPEND VEXIL_FUZZ_TARGETS ini_round_trip:IniRoundTripFuzz.cpp:vexil_ini)
endif()
set(VEXIL_FUZZ_CORPUS_ROOT ${PROJECT_SOURCE_DIR}/tests/data/fuzz)

foreach(entry IN LISTS VEXIL_FUZZ_TARGETS)
  string(REPLACE ":" ";" fields ${entry})
  list(GET fields 0 name)
  list(GET fields 1 source)
  list(GET fields 2 library)

  add_executable(${name}_corpus ${CMAKE_CURRENT_LIST_DIR}/${source}
                                ${CMAKE_CURRENT_LIST_DIR}/CorpusMain.cpp)
  target_link_libraries(${name}_corpus PRIVATE ${library})
  target_include_directories(${name}_corpus PRIVATE ${PROJECT_SOURCE_DIR})

  file(GLOB seeds CONFIGURE_DEPENDS ${VEXIL_FUZZ_CORPUS_ROOT}/${name}/*)
  if(NOT seeds)
    message(FATAL_ERROR "fuzz target ${name} has no seed corpus in ${VEXIL_FUZZ_CORPUS_ROOT}/${name}")
  endif()
  foreach(seed IN LISTS seeds)
    get_filename_component(seedName ${seed} NAME)
    add_test(NAME fuzz_corpus.${name}.${seedName} COMMAND ${name}_corpus ${seed})
  endforeach()

  if(VEXIL_FUZZ)
    add_executable(${name}_fuzzer ${CMAKE_CURRENT_LIST_DIR}/${source})
    target_link_libraries(${name}_fuzzer PRIVATE ${library})
    target_include_directories(${name}_fuzzer PRIVATE ${PROJECT_SOURCE_DIR})
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    list(APPEND VEXIL_FUZZERS ${name}_fuzzer)
  endif()
endforeach()

if(VEXIL_FUZZ)
  add_custom_target(fuzzers DEPENDS ${VEXIL_FUZZERS})
endif()
