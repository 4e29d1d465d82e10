# Settings every target built on JUCE shares. Debian's JUCE links the system
# FLAC/Vorbis; WAV and AIFF are all Vantor needs, so those codecs stay out.
function(vantor_juce_defaults target scope)
    target_compile_definitions(${target} ${scope}
        JUCE_USE_FLAC=0
        JUCE_USE_OGGVORBIS=0
        JUCE_USE_MP3AUDIOFORMAT=0
        JUCE_WEB_BROWSER=0
        JUCE_USE_CURL=0
        JUCE_DISPLAY_SPLASH_SCREEN=0
        JUCE_REPORT_APP_USAGE=0
        JUCE_MODAL_LOOPS_PERMITTED=1
        JUCE_SILENCE_XCODE_15_LINKER_WARNING=1)
endfunction()

# A test or tool that uses Vantor's code and the JUCE modules already compiled
# into the shared-code target, without compiling any module again.
function(vantor_use_shared_code target)
    target_link_libraries(${target} PRIVATE Vantor)
    target_include_directories(${target} PRIVATE $<TARGET_PROPERTY:Vantor,INCLUDE_DIRECTORIES>)
    target_compile_definitions(${target} PRIVATE
        $<FILTER:$<TARGET_PROPERTY:Vantor,COMPILE_DEFINITIONS>,EXCLUDE,JucePlugin_Build_|JUCE_SHARED_CODE>)
endfunction()
