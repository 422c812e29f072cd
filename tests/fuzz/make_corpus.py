#!/usr/bin/env python3
"""Writes the seed corpus of bridge_fuzz (tests/fuzz/corpus/).

Each seed is a short program in the fuzz target's encoding: the harness
reads every value with FuzzedDataProvider's integer functions, which take
their bytes from the end of the input, most significant byte first; so a
seed is the bytes of its values in reading order, reversed. The operation
and load-kind numbers are those of the enums Op and LoadKind in
bridge_fuzz.cpp, the function numbers the contract's order in ai_module.h.

    python3 tests/fuzz/make_corpus.py [output directory]
"""
import os
import sys

# Op
CALL, LOAD, TERMINATE, SCRIPT_ANSWER, SCRIPT_TEXT, SCRIPT_MOVE, THROW_END_GAME, REFUSE = range(8)
OPS = 8
# LoadKind
(SCRIPTED, PARTIAL, SCRIPTED_COPY, NULL, MISSING_FILE, DIRECTORY, NOT_A_LIBRARY, FOREIGN_ARCH,
 EMPTY, LONG_PATH, EMBEDDED_NUL, LONE_SURROGATE, ANY_UNDER_MISSING_FOLDER) = range(13)
LOAD_KINDS = 13
# The contract's functions, in the order of AI_MODULE_FUNCTIONS.
FUNCTIONS = """initialize terminate createGame joinGame gameCreated gameJoined getCreateGameMode
getCreateGameOption newGameCreated newGameOption setAIUsername setOpponentUsername setGameMode
setGameOption setGameAids setSkillLevel setMoveTimeLimit setCustomPieceCount initializeGame
createAISetup getAISetupPiece illegalSetup setOpponentSetupPiece startGame getAIMove illegalMove
submitAIMoveResult submitOpponentMove endGame abortGame getPublicName getPreGameChat
getPostGameChat postGameLogStart postGameLogOriginalOpponentSetup postGameLogClose""".split()
TEXT_FUNCTIONS = ["getPublicName", "getPreGameChat", "getPostGameChat"]


class Seed:
    """Values in the order the harness reads them."""

    def __init__(self):
        self.stream = bytearray()

    def value(self, value, low, high):
        """ConsumeIntegralInRange(low, high) returning `value`."""
        span = high - low
        offset = value - low
        assert 0 <= offset <= span
        width = 0
        while width < 8 and (span >> (8 * width)) > 0:
            width += 1
        for i in reversed(range(width)):
            self.stream.append((offset >> (8 * i)) & 0xFF)
        return self

    def u8(self, value):
        return self.value(value & 0xFF, 0, 0xFF)

    def u16(self, value):
        return self.value(value & 0xFFFF, 0, 0xFFFF)

    def i8(self, value):
        return self.value(value, -0x80, 0x7F)

    def i32(self, value):
        return self.value(value, -0x80000000, 0x7FFFFFFF)

    # Arguments and texts, as the harness reads them.
    def utf16(self, units, long=False):
        assert len(units) <= 64
        self.value(len(units), 0, 64)
        for unit in units:
            if unit < 0x80:
                self.u8(unit)
            elif 0xD800 <= unit <= 0xDBFF:
                self.u8(0x80).u16(unit)
            elif 0xDC00 <= unit <= 0xDFFF:
                self.u8(0xA0).u16(unit)
            else:
                self.u8(0xC0).u16(unit)
        return self.value(15 if long else 0, 0, 15)

    def text(self, text, long=False):
        """A non-null string argument or text answer; None for null."""
        if text is None:
            return self.value(0, 0, 7)
        units = text.encode("utf-16-le", "surrogatepass")
        units = [units[i] | (units[i + 1] << 8) for i in range(0, len(units), 2)]
        return self.value(1, 0, 7).utf16(units, long)

    def array(self, elements):
        if elements is None:
            return self.value(0, 0, 7)
        self.value(1, 0, 7).value(len(elements), 0, 8)
        for element in elements:
            self.i8(element)
        return self

    # Operations.
    def op(self, op):
        return self.value(op, 0, OPS - 1)

    def call(self, name):
        return self.op(CALL).value(FUNCTIONS.index(name), 0, len(FUNCTIONS) - 1)

    def load(self, kind):
        return self.op(LOAD).value(kind, 0, LOAD_KINDS - 1)

    def answer(self, name, value):
        return self.op(SCRIPT_ANSWER).value(FUNCTIONS.index(name), 0, len(FUNCTIONS) - 1).i32(value)

    def script_text(self, name, text, long=False):
        return self.op(SCRIPT_TEXT).value(TEXT_FUNCTIONS.index(name), 0, 2).text(text, long)

    def move(self, data, mask):
        self.op(SCRIPT_MOVE)
        for byte in data:
            self.u8(byte)
        return self.u8(mask)

    def refuse(self, which, mode, successes=0):
        return self.op(REFUSE).value(which, 0, 2).value(mode, 0, 2).value(successes, 0, 3)

    def bytes(self):
        return bytes(reversed(self.stream))


def seeds():
    yield "bad_paths", (Seed().load(NULL).load(MISSING_FILE).load(DIRECTORY).load(NOT_A_LIBRARY)
                        .load(FOREIGN_ARCH).load(EMPTY).load(LONG_PATH).load(EMBEDDED_NUL)
                        .load(LONE_SURROGATE).load(ANY_UNDER_MISSING_FOLDER).utf16([0x2E, 0x2E, 0x2F]))
    yield "numbers", (Seed().load(SCRIPTED).answer("createGame", 256).call("createGame")
                      .answer("getCreateGameOption", -7).call("getCreateGameOption").i32(3)
                      .answer("submitAIMoveResult", 0x12A7).call("submitAIMoveResult").i32(1).i32(2)
                      .call("setGameAids").u8(0xFF).call("setCustomPieceCount")
                      .i32(1).i32(2).i32(3).i32(4).i32(5).i32(6).i32(7).i32(8).i32(9).i32(10).i32(11).i32(-12)
                      .call("terminate"))
    yield "texts", (Seed().load(SCRIPTED).script_text("getPublicName", "Comp\u00e9ter \U0001F600")
                    .call("getPublicName").script_text("getPreGameChat", None).call("getPreGameChat")
                    .script_text("getPostGameChat", "long", long=True).call("getPostGameChat")
                    .call("setAIUsername").text("a\0b\udc00")
                    .call("newGameCreated").text(None).i32(3).call("initialize").text("level 3"))
    yield "moves", (Seed().load(SCRIPTED).move([1, 200, 3, 4, 0], 0x1F).call("getAIMove")
                    .array([9, 9, 9, 9, 9, 77]).move([0, 99, 0, 0, 201], 0x12).call("getAIMove")
                    .array([0, 0, 0, 0]).call("illegalMove").array([10, 20, -56, 40, 50, 60])
                    .call("illegalMove").array(None).call("getAIMove").array([]))
    yield "refusals", (Seed().load(SCRIPTED).refuse(0, 2, 1).call("setAIUsername").text("Ann")
                       .call("setOpponentUsername").text("Bob").refuse(1, 1).call("getAIMove")
                       .array([1, 2, 3, 4, 5]).call("illegalMove").array([1, 2, 3, 4, 5])
                       .refuse(2, 1).call("getPublicName").refuse(0, 1).load(SCRIPTED))
    yield "slot", (Seed().load(SCRIPTED).load(SCRIPTED).call("terminate").call("createGame")
                   .load(SCRIPTED_COPY).load(PARTIAL).call("joinGame").call("getCreateGameOption").i32(-3)
                   .call("getPublicName").call("getAIMove").array([5, 5, 5, 5, 5]).op(TERMINATE)
                   .op(TERMINATE).call("getAISetupPiece").i32(1).i32(2))
    yield "end_game_throws", (Seed().load(SCRIPTED).op(THROW_END_GAME).call("endGame").i32(1).i32(2)
                              .answer("setSkillLevel", 1).call("setSkillLevel").i32(3))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "corpus")
    os.makedirs(out, exist_ok=True)
    for name, seed in seeds():
        with open(os.path.join(out, name), "wb") as file:
            file.write(seed.bytes())


if __name__ == "__main__":
    main()
