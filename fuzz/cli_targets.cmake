# Fuzz targets of kvel-cli's command line and of settings files; fuzz/CMakeLists.txt includes
# this file after it defines kvel_add_fuzzer. Seeds: fuzz/corpus/settings_file/ and
# fuzz/corpus/cli_args/.
kvel_add_fuzzer(settings_file SOURCES settings_file_fuzz.cpp LIBS kvel_settings)
kvel_add_fuzzer(cli_args SOURCES cli_args_fuzz.cpp LIBS kvel_cli_args)
