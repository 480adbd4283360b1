# The resources of the executable. Media/resources.list names each one once; for Linux
# they are embedded into the executable with a table the platform layer answers
# FindResourceA from, and a resource script for Windows is written from the same list.

set(CORVANE_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)

# The media archive, resource 125: the media sources under Media/ and the generated media, packed by rarpack into stored
# members named "Media\..." (generated:media.rar in the list).
# A cross build packs with the host's rarpack (CORVANE_HOST_RARPACK), since its own
# cannot run here.
set(CORVANE_HOST_RARPACK "" CACHE FILEPATH "rarpack built for the build machine (cross builds)")

# The command that runs a build-time tool: the target itself in a native build, the host's
# build of it (`host`, possibly empty) in a cross build; empty when there is none.
function(corvane_tool_command out target host)
  set(command "")
  if(CMAKE_CROSSCOMPILING)
    set(command "${host}")
  elseif(TARGET ${target})
    set(command ${target})
  endif()
  set(${out} "${command}" PARENT_SCOPE)
endfunction()

corvane_tool_command(CORVANE_RARPACK_COMMAND rarpack "${CORVANE_HOST_RARPACK}")
# The bitmap fonts are rendered at build time by fontgen (CORVANE_HOST_FONTGEN in cross
# builds) from CORVANE_FONT_FACE (tools/CMakeLists.txt) and packed with the rest under "Media\Fonts\".
set(CORVANE_HOST_FONTGEN "" CACHE FILEPATH "fontgen built for the build machine (cross builds)")
corvane_tool_command(CORVANE_FONTGEN_COMMAND fontgen "${CORVANE_HOST_FONTGEN}")
set(CORVANE_FONT_FILES "")
if(CORVANE_FONTGEN_COMMAND AND EXISTS ${CORVANE_FONT_FACE})
  set(CORVANE_FONT_DIR ${CORVANE_GENERATED_DIR}/fonts/Fonts)
  set(CORVANE_FONT_FILES ${CORVANE_FONT_DIR}/64font.fs ${CORVANE_FONT_DIR}/64font.css ${CORVANE_FONT_DIR}/64font.tga
                         ${CORVANE_FONT_DIR}/sylfaen.fs)
  foreach(size 14 20 28)
    list(APPEND CORVANE_FONT_FILES ${CORVANE_FONT_DIR}/sylfaen${size}.css ${CORVANE_FONT_DIR}/sylfaen${size}.tga)
  endforeach()
  add_custom_command(
    OUTPUT ${CORVANE_FONT_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_FONT_DIR}
    COMMAND ${CORVANE_FONTGEN_COMMAND} ${CORVANE_FONT_FACE} ${CORVANE_FONT_DIR} 64font 0 255 64
    COMMAND ${CORVANE_FONTGEN_COMMAND} ${CORVANE_FONT_FACE} ${CORVANE_FONT_DIR} sylfaen 32 255 14 20 28
    DEPENDS ${CORVANE_FONTGEN_COMMAND} ${CORVANE_FONT_FACE}
    COMMENT "Rendering the media fonts"
    VERBATIM)
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No fontgen or no face ${CORVANE_FONT_FACE}: the media archive is packed without its fonts")
endif()

# The pictures the engine draws from the archive, rendered by imagegen (CORVANE_HOST_IMAGEGEN
# in cross builds) and packed with the rest: "Media\Stolb01.jpg", the 2 x 20 text caret bar,
# and the product scene's textures.
set(CORVANE_HOST_IMAGEGEN "" CACHE FILEPATH "imagegen built for the build machine (cross builds)")
corvane_tool_command(CORVANE_IMAGEGEN_COMMAND imagegen "${CORVANE_HOST_IMAGEGEN}")
set(CORVANE_MEDIA_PICTURE_FILES "")
if(CORVANE_IMAGEGEN_COMMAND)
  set(CORVANE_MEDIA_PICTURE_DIR ${CORVANE_GENERATED_DIR}/media-pictures)
  set(CORVANE_MEDIA_PICTURE_FILES ${CORVANE_MEDIA_PICTURE_DIR}/Stolb01.jpg)
  add_custom_command(
    OUTPUT ${CORVANE_MEDIA_PICTURE_DIR}/Stolb01.jpg
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_MEDIA_PICTURE_DIR}
    COMMAND ${CORVANE_IMAGEGEN_COMMAND} caret 2 20 ${CORVANE_MEDIA_PICTURE_DIR}/Stolb01.jpg
    DEPENDS ${CORVANE_IMAGEGEN_COMMAND}
    COMMENT "Rendering the caret bar"
    VERBATIM)
  # The product scene's textures, under their archive names (tools/SceneTextures.h).
  set(CORVANE_TEXTURE_DIR ${CORVANE_GENERATED_DIR}/textures)
  set(CORVANE_TEXTURE_FILES "")
  foreach(name Models/All/sand.jpg Models/All/sand_h.png Models/All/stone.jpg Models/All/gold.jpg
               Models/All/bark.jpg Models/All/leaves.png Models/All/lightmap.jpg Models/Flares/flare1.png
               Models/Flares/flare2.png Models/Flares/flare3.png Models/Flares/flare4.png
               Models/morn_day_sun.png Models/moon.png displace.bmp)
    list(APPEND CORVANE_TEXTURE_FILES ${CORVANE_TEXTURE_DIR}/${name})
  endforeach()
  add_custom_command(
    OUTPUT ${CORVANE_TEXTURE_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_TEXTURE_DIR}
    COMMAND ${CORVANE_IMAGEGEN_COMMAND} textures ${CORVANE_TEXTURE_DIR}
    DEPENDS ${CORVANE_IMAGEGEN_COMMAND}
    COMMENT "Rendering the scene's textures"
    VERBATIM)
  list(APPEND CORVANE_MEDIA_PICTURE_FILES ${CORVANE_TEXTURE_FILES})
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No imagegen: the media archive is packed without its pictures")
endif()

# The music, "Media\music.ogg": musicgen (CORVANE_HOST_MUSICGEN in cross builds) writes the
# piece as WAV and oggenc (vorbis-tools) encodes it. Never kept in the repository.
set(CORVANE_HOST_MUSICGEN "" CACHE FILEPATH "musicgen built for the build machine (cross builds)")
corvane_tool_command(CORVANE_MUSICGEN_COMMAND musicgen "${CORVANE_HOST_MUSICGEN}")
find_program(CORVANE_OGGENC oggenc)
set(CORVANE_MUSIC_FILES "")
if(CORVANE_MUSICGEN_COMMAND AND CORVANE_OGGENC)
  set(CORVANE_MUSIC_DIR ${CORVANE_GENERATED_DIR}/music)
  set(CORVANE_MUSIC_FILES ${CORVANE_MUSIC_DIR}/music.ogg)
  add_custom_command(
    OUTPUT ${CORVANE_MUSIC_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_MUSIC_DIR} ${CORVANE_GENERATED_DIR}/music-source
    COMMAND ${CORVANE_MUSICGEN_COMMAND} piece ${CORVANE_GENERATED_DIR}/music-source/music.wav
    COMMAND ${CORVANE_OGGENC} --quiet -q 3 -o ${CORVANE_MUSIC_DIR}/music.ogg ${CORVANE_GENERATED_DIR}/music-source/music.wav
    DEPENDS ${CORVANE_MUSICGEN_COMMAND}
    COMMENT "Synthesising and encoding the music"
    VERBATIM)
  # The decoder's tests, benchmarks and fuzz seeds: a half-second 441 Hz tone, the same
  # made mono at 8 and 22.05 kHz and kept stereo at 48 kHz by the encoder's resampler, a
  # chained stream (the tone, then the 22.05 kHz mono one), six channels (5.1) twice (the
  # tone in two of them; a sine of its own in each), and a minute of the tone for the
  # benchmarks. The serial numbers are fixed, which oggenc otherwise draws at random, so
  # every build writes the same bytes. Cross builds make them too, with the host's tools:
  # their tests run under Wine, which reads the folder through its drive Z:.
  set(fixtures ${CORVANE_GENERATED_DIR}/audio-fixtures)
  set(CORVANE_AUDIO_FIXTURE_DIR ${fixtures})
  file(MAKE_DIRECTORY ${fixtures})
  set(CORVANE_GENERATED_tone.ogg ${fixtures}/tone.ogg)
  set(encode ${CORVANE_OGGENC} --quiet -q 3)
  set(CORVANE_AUDIO_FIXTURES tone mono-8000 mono-22050 stereo-48000 chained surround surround-all)
  add_custom_command(
    OUTPUT ${CORVANE_GENERATED_tone.ogg} ${fixtures}/mono-8000.ogg ${fixtures}/mono-22050.ogg
           ${fixtures}/stereo-48000.ogg ${fixtures}/chained.ogg ${fixtures}/surround.ogg ${fixtures}/surround-all.ogg
           ${fixtures}/minute.ogg
    COMMAND ${CMAKE_COMMAND} -E make_directory ${fixtures}
    COMMAND ${CORVANE_MUSICGEN_COMMAND} tone ${fixtures}/tone.wav 0.5 441
    COMMAND ${encode} --serial 1 -o ${fixtures}/tone.ogg ${fixtures}/tone.wav
    COMMAND ${encode} --serial 2 --downmix --resample 8000 -o ${fixtures}/mono-8000.ogg ${fixtures}/tone.wav
    COMMAND ${encode} --serial 3 --downmix --resample 22050 -o ${fixtures}/mono-22050.ogg ${fixtures}/tone.wav
    COMMAND ${encode} --serial 4 --resample 48000 -o ${fixtures}/stereo-48000.ogg ${fixtures}/tone.wav
    COMMAND sh -c "cat tone.ogg mono-22050.ogg > chained.ogg"
    COMMAND ${CORVANE_MUSICGEN_COMMAND} surround ${fixtures}/surround.wav 0.5 441
    COMMAND ${encode} --serial 5 -o ${fixtures}/surround.ogg ${fixtures}/surround.wav
    COMMAND ${CORVANE_MUSICGEN_COMMAND} surround-all ${fixtures}/surround-all.wav 1
    COMMAND ${encode} --serial 7 -o ${fixtures}/surround-all.ogg ${fixtures}/surround-all.wav
    COMMAND ${CORVANE_MUSICGEN_COMMAND} tone ${fixtures}/minute.wav 60 441
    COMMAND ${encode} --serial 6 -o ${fixtures}/minute.ogg ${fixtures}/minute.wav
    DEPENDS ${CORVANE_MUSICGEN_COMMAND}
    WORKING_DIRECTORY ${fixtures}
    COMMENT "Encoding the audio test streams"
    VERBATIM)
  set(CORVANE_AUDIO_FIXTURE_FILES ${CORVANE_GENERATED_tone.ogg})

  # The streams an encoder never writes, rewritten by oggmux (CORVANE_HOST_OGGMUX in cross
  # builds) from the encoded ones. The encoder puts a short link's audio on one page, so the
  # tone and the 22.05 kHz one are first repaged (the same packets, a few to a page):
  # muxed.ogg has another logical stream that starts before the tone's and has a page
  # between each two of its pages; trimmed-start.ogg's granule positions ask for its first
  # 1000 frames to be dropped, which only a first audio page that is not also the last can
  # ask; chained-cut.ogg is the tone, then the repaged mono link cut inside its second
  # audio page. libvorbis drops the frames a first page asks for from what its last packet
  # decodes, not from the start of the stream: in trimmed-start.ogg (eight packets on that
  # page) oggdec drops frames 4800 to 5799. trimmed-start-short.ogg asks for 100 frames on a
  # first page of two packets, the first of which decodes none, so that the frames dropped
  # are the stream's first in both readings.
  set(CORVANE_HOST_OGGMUX "" CACHE FILEPATH "oggmux built for the build machine (cross builds)")
  corvane_tool_command(CORVANE_OGGMUX_COMMAND oggmux "${CORVANE_HOST_OGGMUX}")
  if(CORVANE_OGGMUX_COMMAND)
    set(rewritten tone-paged tone-paged-2 mono-22050-paged chained-paged muxed trimmed-start trimmed-start-short
                  chained-cut)
    list(TRANSFORM rewritten PREPEND ${fixtures}/ OUTPUT_VARIABLE rewritten_files)
    list(TRANSFORM rewritten_files APPEND .ogg)
    add_custom_command(
      OUTPUT ${rewritten_files}
      COMMAND ${CORVANE_OGGMUX_COMMAND} repage tone.ogg 8 tone-paged.ogg
      COMMAND ${CORVANE_OGGMUX_COMMAND} repage mono-22050.ogg 4 mono-22050-paged.ogg
      COMMAND sh -c "cat tone.ogg mono-22050-paged.ogg > chained-paged.ogg"
      COMMAND ${CORVANE_OGGMUX_COMMAND} mux tone-paged.ogg muxed.ogg
      COMMAND ${CORVANE_OGGMUX_COMMAND} shift-granules tone-paged.ogg 1000 trimmed-start.ogg
      COMMAND ${CORVANE_OGGMUX_COMMAND} repage tone.ogg 2 tone-paged-2.ogg
      COMMAND ${CORVANE_OGGMUX_COMMAND} shift-granules tone-paged-2.ogg 100 trimmed-start-short.ogg
      COMMAND ${CORVANE_OGGMUX_COMMAND} cut-inside-link chained-paged.ogg 2 chained-cut.ogg
      DEPENDS ${CORVANE_OGGMUX_COMMAND} ${CORVANE_GENERATED_tone.ogg}
      WORKING_DIRECTORY ${fixtures}
      COMMENT "Rewriting the audio test streams"
      VERBATIM)
    list(APPEND CORVANE_AUDIO_FIXTURES ${rewritten})
    list(APPEND CORVANE_AUDIO_FIXTURE_FILES ${rewritten_files})
  else()
    message(WARNING "No oggmux: the audio tests go without their rewritten streams")
  endif()

  # A stream whose setup uses floor type 0, which no encoder here writes; kept in the
  # source tree (tests/data/audio/README.md says where from) and copied beside the others.
  set(floor0 ${CMAKE_SOURCE_DIR}/tests/data/audio/floor0-ball.ogg)
  add_custom_command(
    OUTPUT ${fixtures}/floor0-ball.ogg
    COMMAND ${CMAKE_COMMAND} -E copy ${floor0} ${fixtures}/floor0-ball.ogg
    DEPENDS ${floor0}
    VERBATIM)
  list(APPEND CORVANE_AUDIO_FIXTURES floor0-ball)
  list(APPEND CORVANE_AUDIO_FIXTURE_FILES ${fixtures}/floor0-ball.ogg)

  # What the reference decoder (vorbis-tools' oggdec) makes of each stream but the minute,
  # under ref/ (tools/decode-references.sh says how): the tests compare with it.
  find_program(CORVANE_OGGDEC oggdec)
  if(CORVANE_OGGDEC)
    # The script is handed a path, not the name of the target that builds it.
    set(oggmux_path "${CORVANE_OGGMUX_COMMAND}")
    if(CORVANE_OGGMUX_COMMAND AND TARGET ${CORVANE_OGGMUX_COMMAND})
      set(oggmux_path $<TARGET_FILE:${CORVANE_OGGMUX_COMMAND}>)
    endif()
    set(references ${CORVANE_AUDIO_FIXTURES})
    list(TRANSFORM references PREPEND ${fixtures}/ref/)
    list(TRANSFORM references APPEND .wav)
    add_custom_command(
      OUTPUT ${references}
      COMMAND sh ${CMAKE_SOURCE_DIR}/tools/decode-references.sh ${CORVANE_OGGDEC} "${oggmux_path}"
              ${fixtures} ${CORVANE_AUDIO_FIXTURES}
      DEPENDS ${CORVANE_AUDIO_FIXTURE_FILES} ${CORVANE_OGGMUX_COMMAND} ${CMAKE_SOURCE_DIR}/tools/decode-references.sh
      COMMENT "Decoding the audio test streams with oggdec"
      VERBATIM)
    list(APPEND CORVANE_AUDIO_FIXTURE_FILES ${references})
  else()
    message(WARNING "No oggdec (vorbis-tools): the audio tests go without the reference decoder's output")
  endif()
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No musicgen or no oggenc (vorbis-tools): the media archive is packed without its music")
endif()

# The sky boxes, "Media\Models\All\<set>_<face>.jpg": skygen (CORVANE_HOST_SKYGEN in cross
# builds) renders all twenty faces.
set(CORVANE_HOST_SKYGEN "" CACHE FILEPATH "skygen built for the build machine (cross builds)")
corvane_tool_command(CORVANE_SKYGEN_COMMAND skygen "${CORVANE_HOST_SKYGEN}")
set(CORVANE_SKY_FILES "")
if(CORVANE_SKYGEN_COMMAND)
  set(CORVANE_SKY_DIR ${CORVANE_GENERATED_DIR}/sky)
  foreach(set chateau mpcarentan dam pathfinder)
    foreach(face up ft bk lf rt)
      list(APPEND CORVANE_SKY_FILES ${CORVANE_SKY_DIR}/Models/All/${set}_${face}.jpg)
    endforeach()
  endforeach()
  add_custom_command(
    OUTPUT ${CORVANE_SKY_FILES}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_SKY_DIR}/Models/All
    COMMAND ${CORVANE_SKYGEN_COMMAND} ${CORVANE_SKY_DIR}/Models/All 512
    DEPENDS ${CORVANE_SKYGEN_COMMAND}
    COMMENT "Rendering the sky boxes"
    VERBATIM)
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No skygen: the media archive is packed without its sky boxes")
endif()

# The camera paths, "Media\<name>.cam": campath turns each flight description of
# tools/camera-paths into text and udftool builds the document (CORVANE_HOST_CAMPATH and
# CORVANE_HOST_UDFTOOL in cross builds).
set(CORVANE_HOST_CAMPATH "" CACHE FILEPATH "campath built for the build machine (cross builds)")
set(CORVANE_HOST_UDFTOOL "" CACHE FILEPATH "udftool built for the build machine (cross builds)")
corvane_tool_command(CORVANE_CAMPATH_COMMAND campath "${CORVANE_HOST_CAMPATH}")
corvane_tool_command(CORVANE_UDFTOOL_COMMAND udftool "${CORVANE_HOST_UDFTOOL}")
set(CORVANE_PATH_FILES "")
if(CORVANE_CAMPATH_COMMAND AND CORVANE_UDFTOOL_COMMAND)
  set(CORVANE_PATH_DIR ${CORVANE_GENERATED_DIR}/camera-paths)
  file(GLOB CORVANE_FLIGHTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/camera-paths/*.flight)
  foreach(flight ${CORVANE_FLIGHTS})
    get_filename_component(name ${flight} NAME_WE)
    set(document ${CORVANE_PATH_DIR}/${name}.cam)
    add_custom_command(
      OUTPUT ${document}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_PATH_DIR} ${CORVANE_GENERATED_DIR}/camera-path-text
      COMMAND ${CORVANE_CAMPATH_COMMAND} ${flight} ${CORVANE_GENERATED_DIR}/camera-path-text/${name}.txt
      COMMAND ${CORVANE_UDFTOOL_COMMAND} build ${CORVANE_GENERATED_DIR}/camera-path-text/${name}.txt ${document}
      DEPENDS ${CORVANE_CAMPATH_COMMAND} ${CORVANE_UDFTOOL_COMMAND} ${flight}
      COMMENT "Writing the camera path ${name}.cam"
      VERBATIM)
    list(APPEND CORVANE_PATH_FILES ${document})
  endforeach()
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No campath or no udftool: the media archive is packed without its camera paths")
endif()

# The product scene's models, "Media\Models\...": modelgen writes each as text and udftool
# builds the document (CORVANE_HOST_MODELGEN and CORVANE_HOST_UDFTOOL in cross builds).
set(CORVANE_HOST_MODELGEN "" CACHE FILEPATH "modelgen built for the build machine (cross builds)")
corvane_tool_command(CORVANE_MODELGEN_COMMAND modelgen "${CORVANE_HOST_MODELGEN}")
set(CORVANE_MODEL_FILES "")
if(CORVANE_MODELGEN_COMMAND AND CORVANE_UDFTOOL_COMMAND)
  set(CORVANE_MODEL_DIR ${CORVANE_GENERATED_DIR}/models)
  set(CORVANE_MODEL_TEXT_DIR ${CORVANE_GENERATED_DIR}/model-text)
  # Each text the tool writes and the archive name its document takes.
  set(CORVANE_MODEL_NAMES Ground=Models/All/Ground.UDF Sky=Models/All/Sky.UDF Palm=Models/All/Palm.UDF
                          Box=Models/Box.UDF Quad=Models/Quad.udf Flare1=Models/Flares/Flare1.UDF
                          Flare2=Models/Flares/Flare2.UDF Flare3=Models/Flares/Flare3.UDF
                          Flare4=Models/Flares/Flare4.UDF)
  set(CORVANE_MODEL_TEXTS "")
  set(CORVANE_MODEL_BUILDS "")
  foreach(pair ${CORVANE_MODEL_NAMES})
    string(REPLACE "=" ";" parts "${pair}")
    list(GET parts 0 text)
    list(GET parts 1 document)
    list(APPEND CORVANE_MODEL_TEXTS ${CORVANE_MODEL_TEXT_DIR}/${text}.txt)
    list(APPEND CORVANE_MODEL_FILES ${CORVANE_MODEL_DIR}/${document})
    list(APPEND CORVANE_MODEL_BUILDS
         COMMAND ${CORVANE_UDFTOOL_COMMAND} build ${CORVANE_MODEL_TEXT_DIR}/${text}.txt ${CORVANE_MODEL_DIR}/${document})
  endforeach()
  add_custom_command(
    OUTPUT ${CORVANE_MODEL_FILES}
    BYPRODUCTS ${CORVANE_MODEL_TEXTS}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_MODEL_TEXT_DIR} ${CORVANE_MODEL_DIR}/Models/All
            ${CORVANE_MODEL_DIR}/Models/Flares
    COMMAND ${CORVANE_MODELGEN_COMMAND} ${CORVANE_MODEL_TEXT_DIR}
    ${CORVANE_MODEL_BUILDS}
    DEPENDS ${CORVANE_MODELGEN_COMMAND} ${CORVANE_UDFTOOL_COMMAND}
    COMMENT "Building the scene's models"
    VERBATIM)
elseif(CORVANE_RARPACK_COMMAND)
  message(WARNING "No modelgen or no udftool: the media archive is packed without its models")
endif()

if(CORVANE_RARPACK_COMMAND)
  # The media sources only: a saver run from the checkout writes its compiled effects beside
  # their sources ("Media/Shaders/<name>/<name> <digest>.fxo"), and those bytes belong to
  # the platform that wrote them, never to the archive a build ships.
  file(GLOB_RECURSE CORVANE_MEDIA_SOURCES CONFIGURE_DEPENDS RELATIVE ${CMAKE_SOURCE_DIR}/Media
       ${CMAKE_SOURCE_DIR}/Media/*)
  list(FILTER CORVANE_MEDIA_SOURCES EXCLUDE REGEX "(^|/)[^/]*\\.fxo$")
  list(FILTER CORVANE_MEDIA_SOURCES EXCLUDE REGEX "^Shaders/[^/]+/")
  list(SORT CORVANE_MEDIA_SOURCES)
  list(JOIN CORVANE_MEDIA_SOURCES "\n" media_source_lines)
  # Rewritten only when the list changes, so that a cache the saver writes repacks nothing.
  set(CORVANE_MEDIA_SOURCE_LIST ${CORVANE_GENERATED_DIR}/media-sources.txt)
  file(CONFIGURE OUTPUT ${CORVANE_MEDIA_SOURCE_LIST} CONTENT "${media_source_lines}\n" @ONLY)
  list(TRANSFORM CORVANE_MEDIA_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/Media/ OUTPUT_VARIABLE CORVANE_MEDIA_FILES)
  set(CORVANE_GENERATED_media.rar ${CORVANE_GENERATED_DIR}/media.rar)
  # The archive is packed from a copy of Media/ with the generated files added.
  set(CORVANE_MEDIA_TREE ${CORVANE_GENERATED_DIR}/media-tree)
  set(CORVANE_MEDIA_EXTRA "")
  if(CORVANE_FONT_FILES)
    set(CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_GENERATED_DIR}/fonts ${CORVANE_MEDIA_TREE})
  endif()
  if(CORVANE_MEDIA_PICTURE_FILES)
    list(APPEND CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_MEDIA_PICTURE_DIR} ${CORVANE_MEDIA_TREE}
                                    COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_TEXTURE_DIR} ${CORVANE_MEDIA_TREE})
  endif()
  if(CORVANE_MUSIC_FILES)
    list(APPEND CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_MUSIC_DIR} ${CORVANE_MEDIA_TREE})
  endif()
  if(CORVANE_SKY_FILES)
    list(APPEND CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_SKY_DIR} ${CORVANE_MEDIA_TREE})
  endif()
  if(CORVANE_PATH_FILES)
    list(APPEND CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_PATH_DIR} ${CORVANE_MEDIA_TREE})
  endif()
  if(CORVANE_MODEL_FILES)
    list(APPEND CORVANE_MEDIA_EXTRA COMMAND ${CMAKE_COMMAND} -E copy_directory ${CORVANE_MODEL_DIR} ${CORVANE_MEDIA_TREE})
  endif()
  add_custom_command(
    OUTPUT ${CORVANE_GENERATED_media.rar}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_GENERATED_DIR}
    COMMAND ${CMAKE_COMMAND} -E remove_directory ${CORVANE_MEDIA_TREE}
    COMMAND ${CMAKE_COMMAND} -DFROM=${CMAKE_SOURCE_DIR}/Media -DTO=${CORVANE_MEDIA_TREE}
            -DLIST=${CORVANE_MEDIA_SOURCE_LIST} -P ${CMAKE_SOURCE_DIR}/cmake/CopyListed.cmake
    ${CORVANE_MEDIA_EXTRA}
    COMMAND ${CORVANE_RARPACK_COMMAND} ${CORVANE_MEDIA_TREE} ${CORVANE_GENERATED_media.rar} --prefix "Media\\"
    DEPENDS ${CORVANE_RARPACK_COMMAND} ${CORVANE_MEDIA_SOURCE_LIST} ${CORVANE_MEDIA_FILES} ${CORVANE_FONT_FILES} ${CORVANE_MUSIC_FILES}
            ${CORVANE_SKY_FILES} ${CORVANE_MEDIA_PICTURE_FILES} ${CORVANE_PATH_FILES} ${CORVANE_MODEL_FILES}
    COMMENT "Packing the media archive"
    VERBATIM)
endif()

# The pictures of the executable's resources, rendered by imagegen:
# generated:preview.bmp (bitmap 109), config.bmp (130), about.bmp (1053), corvane.ico, and
# the loading screen: loading.jpg (memfile 162, the background), corner-ld.png,
# corner-lu.png, corner-rd.png, corner-ru.png (150 to 153, the corners) and badge.png,
# badge-small.png (154 and 155, small; loaded, never drawn).
if(CORVANE_IMAGEGEN_COMMAND)
  set(CORVANE_IMAGE_DIR ${CORVANE_GENERATED_DIR}/images)
  foreach(picture "preview.bmp dusk 152 112" "config.bmp config 540 72" "about.bmp about 90 84"
                  "loading.jpg loading 1024 768" "corner-ld.png corner-ld 128 128" "corner-lu.png corner-lu 128 128"
                  "corner-rd.png corner-rd 128 128" "corner-ru.png corner-ru 128 128" "badge.png badge 64 64"
                  "badge-small.png badge 32 32")
    separate_arguments(parts UNIX_COMMAND "${picture}")
    list(GET parts 0 file)
    list(GET parts 1 scene)
    list(GET parts 2 width)
    list(GET parts 3 height)
    set(CORVANE_GENERATED_${file} ${CORVANE_IMAGE_DIR}/${file})
    add_custom_command(
      OUTPUT ${CORVANE_IMAGE_DIR}/${file}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_IMAGE_DIR}
      COMMAND ${CORVANE_IMAGEGEN_COMMAND} ${scene} ${width} ${height} ${CORVANE_IMAGE_DIR}/${file}
      DEPENDS ${CORVANE_IMAGEGEN_COMMAND}
      COMMENT "Rendering ${file}"
      VERBATIM)
  endforeach()
  set(CORVANE_GENERATED_corvane.ico ${CORVANE_IMAGE_DIR}/corvane.ico)
  add_custom_command(
    OUTPUT ${CORVANE_IMAGE_DIR}/corvane.ico
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_IMAGE_DIR}
    COMMAND ${CORVANE_IMAGEGEN_COMMAND} icon ${CORVANE_IMAGE_DIR}/corvane.ico
    DEPENDS ${CORVANE_IMAGEGEN_COMMAND}
    COMMENT "Rendering the icon"
    VERBATIM)
endif()

# Resource scripts (a SOURCE ending in ".rc", e.g. a DIALOG): Windows compiles them with the
# rest of the resource script; for Linux the same resource compiler turns them into the
# binary form Windows would load, and resextract takes the named resource's bytes out, so
# that the platform layer reads exactly what Windows reads.
find_program(CORVANE_WINDRES NAMES x86_64-w64-mingw32-windres i686-w64-mingw32-windres windres)

# Gives `target` the resources that `list_file` names.
function(corvane_embed_resources target list_file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list_file})
  file(STRINGS ${list_file} lines)
  set(standard_types CURSOR 1 BITMAP 2 ICON 3 MENU 4 DIALOG 5 STRING 6 FONTDIR 7 FONT 8
                     ACCELERATOR 9 RCDATA 10 MESSAGETABLE 11)
  set(index 0)
  set(assembly "")
  set(declarations "")
  set(entries "")
  set(script "")
  set(files "")
  set(included_scripts "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    separate_arguments(parts UNIX_COMMAND "${line}")
    list(LENGTH parts count)
    if(NOT count EQUAL 3)
      message(FATAL_ERROR "${list_file}: expected TYPE NAME SOURCE: ${line}")
    endif()
    list(GET parts 0 type)
    list(GET parts 1 name)
    list(GET parts 2 source)

    set(script_source "")
    if(source MATCHES "\\.rc$")
      set(script_source ${CMAKE_SOURCE_DIR}/${source})
      if(NOT EXISTS ${script_source})
        message(FATAL_ERROR "${list_file}: no such file: ${source}")
      endif()
    endif()
    if(script_source AND NOT WIN32)
      if(NOT CORVANE_WINDRES OR NOT TARGET resextract)
        message(FATAL_ERROR "${list_file}: ${source} needs the resource compiler (binutils-mingw-w64-x86-64) and resextract")
      endif()
      get_filename_component(script_dir ${script_source} DIRECTORY)
      file(GLOB script_headers ${script_dir}/*.h)
      set(compiled ${CORVANE_GENERATED_DIR}/${target}_${type}_${name}.res)
      set(file ${CORVANE_GENERATED_DIR}/${target}_${type}_${name}.bin)
      add_custom_command(
        OUTPUT ${file}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${CORVANE_GENERATED_DIR}
        COMMAND ${CORVANE_WINDRES} -I ${script_dir} -i ${script_source} -O res -o ${compiled}
        COMMAND resextract ${compiled} ${type} ${name} ${file}
        DEPENDS ${script_source} ${script_headers} resextract
        COMMENT "Compiling resource ${type} ${name} from ${source}"
        VERBATIM)
    elseif(script_source)
      set(file ${script_source})
    elseif(source MATCHES "^generated:(.+)$")
      set(generated ${CMAKE_MATCH_1})
      if(NOT DEFINED CORVANE_GENERATED_${generated})
        message(STATUS "Resource ${type} ${name}: nothing builds ${generated} yet; left out")
        continue()
      endif()
      set(file ${CORVANE_GENERATED_${generated}})
    else()
      set(file ${CMAKE_SOURCE_DIR}/${source})
      if(NOT EXISTS ${file})
        message(FATAL_ERROR "${list_file}: no such file: ${source}")
      endif()
    endif()
    if(file MATCHES "[\"\\\\]")
      message(FATAL_ERROR "${list_file}: a resource path may not hold quotes or back slashes: ${file}")
    endif()

    string(TOUPPER "${type}" upper_type)
    list(FIND standard_types ${upper_type} standard)
    if(type MATCHES "^[0-9]+$")
      set(type_field "nullptr, ${type}")
      set(rc_type ${type})
    elseif(standard GREATER_EQUAL 0)
      math(EXPR id_index "${standard} + 1")
      list(GET standard_types ${id_index} type_id)
      set(type_field "nullptr, ${type_id}")
      set(rc_type ${upper_type})
    else()
      set(type_field "\"${type}\", 0")
      set(rc_type ${type})
    endif()
    if(name MATCHES "^[0-9]+$")
      set(name_field "nullptr, ${name}")
    else()
      set(name_field "\"${name}\", 0")
    endif()

    set(symbol corvane_resource_${index})
    # A bitmap resource holds the image without its 14-byte file header, as the resource
    # compiler stores it.
    set(skip "")
    if(rc_type STREQUAL "BITMAP")
      set(skip ",14")
    endif()
    string(APPEND assembly
      "    \".balign 16\\n\"\n"
      "    \"${symbol}:\\n\"\n"
      "    \".incbin \\\"${file}\\\"${skip}\\n\"\n"
      "    \"${symbol}_end:\\n\"\n"
      "    \".byte 0\\n\"\n")
    string(APPEND declarations
      "extern \"C\" const unsigned char ${symbol}[];\n"
      "extern \"C\" const unsigned char ${symbol}_end[];\n")
    string(APPEND entries "    {${type_field}, ${name_field}, ${symbol}, ${symbol}_end},\n")
    if(script_source)
      # The script defines the resource itself, under the same type and name; a script
      # that defines several is included once.
      if(NOT script_source IN_LIST included_scripts)
        list(APPEND included_scripts ${script_source})
        string(APPEND script "#include \"${file}\"\n")
      endif()
    else()
      string(APPEND script "${name} ${rc_type} \"${file}\"\n")
    endif()
    list(APPEND files ${file})
    math(EXPR index "${index} + 1")
  endforeach()

  if(index EQUAL 0)
    set(table "extern \"C\" const PlatformResourceTable CorvaneResourceTable = {nullptr, 0};\n")
  else()
    string(CONCAT table
      "__asm__(\n"
      "    \".pushsection .rodata.corvane_resources,\\\"a\\\",@progbits\\n\"\n"
      "${assembly}"
      "    \".popsection\\n\");\n\n"
      "${declarations}\n"
      "namespace {\n"
      "const PlatformResource entries[] = {\n${entries}};\n"
      "}  // namespace\n\n"
      "extern \"C\" const PlatformResourceTable CorvaneResourceTable = {entries, ${index}};\n")
  endif()
  if(WIN32)
    # Windows: the resource script, compiled by the cross resource compiler.
    set(rc_file ${CORVANE_GENERATED_DIR}/${target}.rc)
    file(GENERATE OUTPUT ${rc_file} CONTENT
      "// Generated by cmake/Resources.cmake from ${list_file}; do not edit.\n${script}")
    target_sources(${target} PRIVATE ${rc_file} ${files})
    set_source_files_properties(${rc_file} PROPERTIES OBJECT_DEPENDS "${files}" GENERATED TRUE)
    set_source_files_properties(${files} PROPERTIES HEADER_FILE_ONLY TRUE)
    return()
  endif()
  set(source_file ${CORVANE_GENERATED_DIR}/${target}_resources.cpp)
  file(GENERATE OUTPUT ${source_file} CONTENT
    "// Generated by cmake/Resources.cmake from ${list_file}; do not edit.\n#include <PlatformResources.h>\n\n${table}")
  # The embedded files are dependencies of the generated table: it is assembled again
  # whenever one of them changes, and generated ones are built first.
  target_sources(${target} PRIVATE ${source_file} ${files})
  set_source_files_properties(${source_file} PROPERTIES OBJECT_DEPENDS "${files}" GENERATED TRUE)
  set_source_files_properties(${files} PROPERTIES HEADER_FILE_ONLY TRUE)
endfunction()

corvane_embed_resources(corvane ${CMAKE_SOURCE_DIR}/Media/resources.list)
