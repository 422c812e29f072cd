# The contract's names, written out as literal strings: the 36 export names
# of the module contract, and the 37 native methods of the bridge with the
# parameter bytes of their 32-bit Windows decoration ("_Java_..._<method>@<bytes>").
# The built libraries' export tables are checked against these, never against
# the list the build derives its export names from.
set(CONTRACT_EXPORT_NAMES
  _initialize@4 _terminate@0 _createGame@0 _joinGame@0
  _gameCreated@0 _gameJoined@0 _getCreateGameMode@0 _getCreateGameOption@4
  _newGameCreated@8 _newGameOption@8 _setAIUsername@4 _setOpponentUsername@4
  _setGameMode@4 _setGameOption@8 _setGameAids@4 _setSkillLevel@4
  _setMoveTimeLimit@4 _setCustomPieceCount@48 _initializeGame@0 _createAISetup@4
  _getAISetupPiece@8 _illegalSetup@12 _setOpponentSetupPiece@8 _startGame@0
  _getAIMove@4 _illegalMove@4 _submitAIMoveResult@8 _submitOpponentMove@24
  _endGame@8 _abortGame@4 _getPublicName@0 _getPreGameChat@0
  _getPostGameChat@0 _postGameLogStart@0 _postGameLogOriginalOpponentSetup@12 _postGameLogClose@0)

set(BRIDGE_JNI_PREFIX Java_com_quenbrook_ravo_tessel_ai_NativeAIBridge_)
# <method>:<bytes of the x86 decoration: the JNIEnv, the class and the arguments>
set(BRIDGE_JNI_METHODS
  initializeLibrary:12 initialize:12 terminate:8 createGame:8
  joinGame:8 gameCreated:8 gameJoined:8 getCreateGameMode:8
  getCreateGameOption:12 newGameCreated:16 newGameOption:16 setAIUsername:12
  setOpponentUsername:12 setGameMode:12 setGameOption:16 setGameAids:12
  setSkillLevel:12 setMoveTimeLimit:12 setCustomPieceCount:56 initializeGame:8
  createAISetup:12 getAISetupPiece:16 illegalSetup:20 setOpponentSetupPiece:16
  startGame:8 getAIMove:12 illegalMove:12 submitAIMoveResult:16
  submitOpponentMove:32 endGame:16 abortGame:12 getPublicName:8
  getPreGameChat:8 getPostGameChat:8 postGameLogStart:8 postGameLogOriginalOpponentSetup:20
  postGameLogClose:8)

# The bridge's export names on this target: undecorated JNI names on ELF and
# x64, the decorated ones on 32-bit Windows.
function(bridge_jni_export_names out_var)
  set(names)
  foreach(entry IN LISTS BRIDGE_JNI_METHODS)
    string(REPLACE ":" ";" entry "${entry}")
    list(GET entry 0 method)
    list(GET entry 1 bytes)
    if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
      list(APPEND names "_${BRIDGE_JNI_PREFIX}${method}@${bytes}")
    else()
      list(APPEND names "${BRIDGE_JNI_PREFIX}${method}")
    endif()
  endforeach()
  set(${out_var} ${names} PARENT_SCOPE)
endfunction()
