# A shipped binary: built by the `deliverables` target, stripped after every link with its debug
# information kept beside it in <binary>.debug (debuggers find it through the debug link), and
# checked on the i686 build by the host-side header checks (kind: GUI, CUI or DLL).
function(harbee_deliverable target kind)
  add_dependencies(deliverables ${target})
  set(binary $<TARGET_FILE:${target}>)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${binary} ${binary}.debug
    COMMAND ${CMAKE_STRIP} --strip-all ${binary}
    COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${binary}.debug ${binary}
    VERBATIM)
  harbee_check_pe(${target} ${kind})
  if(HARBEE_TESTS AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    add_test(NAME ${target}_shipped
             COMMAND ${PROJECT_SOURCE_DIR}/testing/host/check-shipped.sh ${binary} ${CMAKE_OBJDUMP})
    set_tests_properties(${target}_shipped PROPERTIES TIMEOUT 30 LABELS host)
  endif()
endfunction()
