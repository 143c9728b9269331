# What ships is lean: after linking, a target's debug information moves into "<file>.debug" beside it, and
# the stripped file points there with a debug link, so debuggers and crash reports still read it.
# Sanitizer builds are test builds and keep their symbols in place.
function(quib_strip_keeping_debug target strip_option)
    if(QUIB_SANITIZE)
        return()
    endif()
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
        COMMAND ${CMAKE_OBJCOPY} ${strip_option} --add-gnu-debuglink=$<TARGET_FILE:${target}>.debug
                $<TARGET_FILE:${target}>
        COMMENT "Stripping ${target} (debug information kept in its .debug file)"
        VERBATIM)
endfunction()
