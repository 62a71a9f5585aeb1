# Generates the files twice with the same seed and fails unless they are the
# same bytes. Called with -DGEN=<keyloom_gen> -DDIR=<scratch folder>.
file(REMOVE_RECURSE ${DIR})
foreach(run a b)
  execute_process(COMMAND ${GEN} ${DIR}/${run} 1 7 RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "keyloom_gen failed")
  endif()
endforeach()
foreach(name export.reg export-utf16.reg export-utf16-wide.reg profile.ini manifest.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${DIR}/a/${name} ${DIR}/b/${name}
                  RESULT_VARIABLE differ)
  if(differ)
    message(FATAL_ERROR "${name} differs between two runs with the same seed")
  endif()
endforeach()
file(REMOVE_RECURSE ${DIR})
