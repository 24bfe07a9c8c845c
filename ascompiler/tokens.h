// Token numbers shared by the lexer and the grammar. Single characters that
// no rule joins into a longer token come through as their byte value; 0 is
// the end of the input.
#pragma once

enum TToken : int {
    tkEnd = 0,
    tkBreak = 257,
    tkCase = 258,
    tkCatch = 259,
    tkClass = 260,
    tkContinue = 261,
    tkDefault = 262,
    tkDelete = 263,
    tkDo = 264,
    tkElse = 265,
    tkExtends = 266,
    tkEval = 267,
    tkFalse = 268,
    tkFinally = 269,
    tkFor = 270,
    tkFunction = 271,
    tkFunctionGet = 272,
    tkFunctionSet = 273,
    tkIf = 274,
    tkIfFrameLoaded = 275,
    tkImport = 276,
    tkIn = 277,
    tkInterface = 278,
    tkImplements = 279,
    tkKeyPress = 280,
    tkNew = 281,
    tkNull = 282,
    tkOn = 283,
    tkOnClipEvent = 284,
    tkPrivate = 285,
    tkPublic = 286,
    tkReturn = 287,
    tkStatic = 288,
    tkSwitch = 289,
    tkTellTarget = 290,
    tkThrow = 291,
    tkTrue = 292,
    tkTry = 293,
    tkTypeof = 294,
    tkUndefined = 295,
    tkVar = 296,
    tkVoid = 297,
    tkWhile = 298,
    tkWith = 299,
    tkListing = 300,
    tkMalformedNumber = 301,
    tkString = 302,
    tkIdent = 303,
    tkNumber = 304,
    tkAssignOp = 305,
    tkPathVar = 306,
    tkNot = 307,       // ! and not
    tkOr = 308,        // || and or
    tkAnd = 309,       // && and and
    tkBitOr = 310,
    tkBitAnd = 311,
    tkBitXor = 312,
    tkEquals = 313,    // ==
    tkLessEq = 314,    // <=
    tkGreaterEq = 315, // >=
    tkNotEquals = 316, // != and <>
    tkStrictEquals = 317,
    tkStrictNotEquals = 318,
    tkInstanceof = 319,
    tkIncrement = 320,
    tkDecrement = 321,
    tkShiftLeft = 322,
    tkShiftRight = 323,
    tkShiftRightUnsigned = 324,
    tkStrAdd = 325,    // add
    tkStrEq = 326,     // eq
    tkStrNe = 329,     // ne
    tkStrGt = 330,     // gt
    tkStrGe = 331,     // ge
    tkStrLt = 332,     // lt
    tkStrLe = 333,     // le
    tkIncrementAfterBreak = 334,  // ++ first on its line: never postfix
    tkDecrementAfterBreak = 335,
};

// Compound assignment kinds (the value of tkAssignOp); 1 is the plain '='.
enum TAssignKind : int {
    akAssign = 1,
    akAdd = 2,
    akSubtract = 3,
    akMultiply = 4,
    akDivide = 5,
    akModulo = 6,
    akBitAnd = 7,
    akBitXor = 8,
    akBitOr = 9,
    akShiftLeft = 10,
    akShiftRight = 11,
    akShiftRightUnsigned = 12,
    akIncrement = tkIncrement,
    akDecrement = tkDecrement,
};
