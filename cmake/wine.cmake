# SPDX-License-Identifier: MIT
# Running the cross-built Windows programs on this Linux machine: CTest starts
# every Windows test through tests/windows/run-with-sim.sh, which runs it
# under wine in a throwaway prefix inside the build folder and, when the test
# asks for it (RT420_SIM_ARGS in its environment), starts the simulated
# module of a native build with COM3 and COM12 of wine mapped to it.
set(RT420_SIM_PROGRAM ${PROJECT_SOURCE_DIR}/build/sim/rt420-sim
    CACHE FILEPATH "The native simulated module (rt420-sim) that the Windows tests talk to")
set(RT420_WINEPREFIX ${CMAKE_BINARY_DIR}/wine CACHE PATH "The throwaway wine prefix of the Windows tests")
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      ${PROJECT_SOURCE_DIR}/tests/windows/run-with-sim.sh
      --prefix ${RT420_WINEPREFIX}
      --sim ${RT420_SIM_PROGRAM}
      --)
endif()
