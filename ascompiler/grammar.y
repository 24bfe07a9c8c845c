/* The ActionScript 1/2 grammar. Bison builds the LALR(1) tables from it; the
   actions build the parse tree through TParser. Productions keep the order of
   their semantic actions: where two productions reduce on the same lookahead,
   the earlier one wins. */

%code requires {
#include <string>
#include "ascompiler/parse_tree.h"
class TParser;
}

%code {
#include "ascompiler/parser.h"
#include "ascompiler/tokens.h"

/* The parse stack is bounded: a program nested deeper fails with a message
   that says so. Each level of nesting takes a few entries. */
#define YYMAXDEPTH TParser::MaxParseDepth
#define YYINITDEPTH 256

static int as_lex(AS_STYPE* value, TParser& parser) { return parser.Lex(*value); }
/* The depth of the state stack where the error was found tells a semicolon
   inserted in that very state from one found after states were given up. */
#define as_error(parser, message) (parser).SyntaxError(message, yyssp - yyss)
#define AS_STACK_DEPTH (yyssp - yyss)
}

%define api.prefix {as_}
%define api.pure full
%param {TParser& parser}
%define parse.error simple

%union {
    TParseTreeNode* node;
    TProgramNode* program;
    TEventListNode* events;
    TPairNode* pair;
    TFuncDefNode* func;
    TArgDeclListNode* params;
    TArgDeclNode* param;
    TStmtListNode* stmts;
    TLvalueNode* lvalue;
    TExprListNode* exprs;
    TFuncCallNode* call;
    TVarDeclListNode* vars;
    TVarDeclNode* var;
    TSwitchCaseListNode* cases;
    TSwitchCaseNode* clause;
    TLoopStmtNode* loop;
    TCatchNode* catchClause;
    TCompoundName* name;
    TClassImplListNode* names;
    TClassBodyNode* body;
    TSourcePosNode* pos;
    TStrId id;
    double number;
    int kind;
    const std::string* text;
}

%token BREAK 257 CASE 258 CATCH 259 CLASS 260 CONTINUE 261 DEFAULT 262 DELETE 263
%token DO 264 ELSE 265 EXTENDS 266 EVAL 267 FALSE 268 FINALLY 269 FOR 270
%token FUNCTION 271 FUNCTION_GET 272 FUNCTION_SET 273 IF 274 IFFRAMELOADED 275
%token IMPORT 276 IN 277 INTERFACE 278 IMPLEMENTS 279 KEYPRESS 280 NEW 281
%token NULL_ 282 ON 283 ONCLIPEVENT 284 PRIVATE 285 PUBLIC 286 RETURN 287
%token STATIC 288 SWITCH 289 TELLTARGET 290 THROW 291 TRUE_ 292 TRY 293
%token TYPEOF 294 UNDEFINED 295 VAR 296 VOID 297 WHILE 298 WITH 299
%token <text> LISTING 300
%token MALFORMED_NUMBER 301
%token <id> STRING 302 IDENT 303
%token <number> NUMBER 304
%token <kind> ASSIGNOP 305
%token <id> PATHVAR 306
%token NOT 307 OR 308 AND 309 BITOR 310 BITAND 311 BITXOR 312
%token EQ 313 LE 314 GE 315 NE 316 STRICT_EQ 317 STRICT_NE 318 INSTANCEOF 319
%token INC 320 DEC 321 SHL 322 SHR 323 USHR 324
%token STR_ADD 325 STR_EQ 326 STR_NE 329 STR_GT 330 STR_GE 331 STR_LT 332 STR_LE 333
%token INC_NL 334 DEC_NL 335

%left OR
%left AND
%left BITOR
%left BITXOR
%left BITAND
%left EQ NE STRICT_EQ STRICT_NE STR_EQ STR_NE STR_LT STR_GT STR_LE STR_GE
%left '<' '>' LE GE INSTANCEOF
%left SHL SHR USHR
%left '+' '-' STR_ADD
%left '*' '/' '%'

%type <program> items handler
%type <node> item statement expression_statement if_statement switch_statement
%type <node> frame_loaded_statement while_statement do_statement for_statement
%type <node> break_statement continue_statement return_statement with_statement
%type <node> tell_target_statement try_statement throw_statement function_body
%type <node> statements_opt primary member new_expression call lhs postfix unary operation conditional assignment
%type <node> expression for_init for_condition for_step finally_clause
%type <node> class_definition interface_definition import_statement class_member
%type <node> field_member method_member
%type <pos> position
%type <events> events
%type <pair> event pair
%type <func> function_declaration function_expression
%type <params> parameters
%type <param> parameter
%type <id> type_opt
%type <stmts> statements
%type <exprs> argument_list arguments array_literal object_literal pairs
%type <vars> var_statement var_declarations
%type <var> var_declaration
%type <cases> case_clauses
%type <clause> case_clause
%type <loop> for_head
%type <catchClause> catch_clause
%type <name> dotted_name extends_opt interface_extends_opt
%type <names> implements_opt name_list
%type <body> class_members
%type <kind> modifier modifiers

%start program

/* The grammar's conflicts, resolved the yacc way (shift, else the earlier
   production): an else or a finally binds to the nearest if or try; '{' '}'
   at a statement's start is an empty block, not an object literal; a
   statement that starts with "function name" declares a function.

   A statement ends with a semicolon, or without one where the next token
   cannot continue it and stands on a new line, is a '}' or the end of the
   input, or follows a '}' (the terminator rule's error branch). */


%%

program
    : items { parser.SetRoot($1); parser.PopScope(); }
    ;
position
    : %empty { $$ = parser.Position(); }
    ;
open_program_scope
    : %empty { parser.PushScope(skProgram); }
    ;
items
    : open_program_scope { $$ = parser.NewProgram(nullptr); }
    | items item { $$ = $1; $$->Items.push_back($2); }
    ;
item
    : statement
    | class_definition
    | interface_definition
    | handler { $$ = $1; }
    | import_statement
    ;
terminator
    : ';'
    | error { if (!parser.InsertSemicolon(AS_STACK_DEPTH)) YYABORT; yyerrok; }
    ;
handler
    : position ON '(' events ')' '{' items '}' { $$ = parser.AttachEvents($7, $4, ekButton, $1); }
    | position ONCLIPEVENT '(' events ')' '{' items '}' { $$ = parser.AttachEvents($7, $4, ekClip, $1); }
    | position ON '(' KEYPRESS STRING ')' '{' items '}' { $$ = parser.AttachKeyPress($8, $5, $1); }
    ;
event
    : IDENT { $$ = parser.NewEvent($1, nullptr); }
    | IDENT '(' STRING ')' { $$ = parser.NewEvent($1, &$3); }
    ;
events
    : event { $$ = parser.New<TEventListNode>(); $$->Pairs.push_back($1); }
    | events ',' event { $$ = $1; $$->Pairs.push_back($3); }
    ;
declare_function
    : %empty { parser.DeclareFunction($<id>0); }
    ;
function_declaration
    : FUNCTION IDENT declare_function '(' parameters ')' type_opt function_body
        { $$ = parser.EndFunctionDeclaration($2, $5, $7, $8, 0); }
    ;
declare_getter
    : %empty { parser.DeclareFunction($<id>0); }
    ;
function_declaration
    : FUNCTION_GET IDENT declare_getter '(' ')' type_opt function_body
        { $$ = parser.EndFunctionDeclaration($2, parser.New<TArgDeclListNode>(), $6, $7, nfGetter); }
    ;
declare_setter
    : %empty { parser.DeclareFunction($<id>0); }
    ;
function_declaration
    : FUNCTION_SET IDENT declare_setter '(' parameter ')' type_opt function_body
        { TArgDeclListNode* params = parser.New<TArgDeclListNode>(); params->Args.push_back($5);
          $$ = parser.EndFunctionDeclaration($2, params, $7, $8, nfSetter); }
    ;
open_function_scope
    : %empty { parser.PushScope(skFunction); }
    ;
function_expression
    : FUNCTION open_function_scope '(' parameters ')' type_opt function_body
        { $$ = parser.EndFunctionExpression($4, $6, $7); }
    ;
parameters
    : %empty { $$ = parser.New<TArgDeclListNode>(); }
    | parameter { $$ = parser.New<TArgDeclListNode>(); $$->Args.push_back($1); }
    | parameters ',' parameter { $$ = $1; $$->Args.push_back($3); }
    ;
parameter
    : IDENT type_opt { $$ = parser.NewParameter($1, $2); }
    ;
type_opt
    : %empty { $$ = TStringTable::Empty; }
    | ':' IDENT { $$ = $2; }
    ;
function_body
    : '{' statements '}' { $$ = $2; }
    | '{' '}' { $$ = nullptr; }
    ;
statement
    : ';' { $$ = parser.New<TNullStmtNode>(); }
    | '{' statements '}' { $$ = $2; }
    | '{' '}' { $$ = parser.New<TNullStmtNode>(); }
    | function_declaration { $$ = $1; }
    | expression_statement
    | var_statement { $$ = $1; }
    | if_statement
    | switch_statement
    | frame_loaded_statement
    | while_statement
    | do_statement
    | for_statement
    | break_statement
    | continue_statement
    | return_statement
    | with_statement
    | tell_target_statement
    | try_statement
    | throw_statement
    | LISTING { $$ = parser.NewListing(*$1); }
    ;
statements
    : statement { $$ = parser.New<TStmtListNode>(); $$->Statements.push_back($1); }
    | statements statement { $$ = $1; $$->Statements.push_back($2); }
    ;
statements_opt
    : %empty { $$ = nullptr; }
    | statements { $$ = $1; }
    ;
expression_statement
    : expression terminator { $$ = $1; $$->Set(nfResultDiscarded); }
    ;
primary
    : IDENT { $$ = parser.NewVariable($1); }
    | PATHVAR { $$ = parser.NewVariable($1); }
    | EVAL '(' expression ')' { $$ = parser.NewEval($3); }
    | NUMBER { $$ = parser.New<TNumberNode>($1); }
    | STRING { $$ = parser.New<TStrNode>($1); }
    | NULL_ { $$ = parser.New<TStrNode>(TStrNode::Null); }
    | UNDEFINED { $$ = parser.New<TStrNode>(TStrNode::Undefined); }
    | TRUE_ { $$ = parser.New<TStrNode>(TStrNode::True); }
    | FALSE { $$ = parser.New<TStrNode>(TStrNode::False); }
    | array_literal { $$ = $1; }
    | object_literal { $$ = $1; }
    | '(' expression ')' { $$ = $2; }
    | function_expression { $$ = $1; }
    ;
member
    : primary
    | member '.' IDENT { $$ = parser.NewMember($1, $3); }
    | member '[' expression ']' { $$ = parser.NewIndex($1, $3); }
    | NEW member position arguments { $$ = parser.NewCallOf($2, $4, $3, true); }
    ;
new_expression
    : member
    | NEW new_expression { $$ = parser.NewCallOf($2, parser.New<TExprListNode>(), parser.Position(), true); }
    ;
call
    : member position arguments { $$ = parser.NewCallOf($1, $3, $2, false); }
    | call position arguments { $$ = parser.NewCallOf($1, $3, $2, false); }
    | call '.' IDENT { $$ = parser.NewMember($1, $3); }
    | call '[' expression ']' { $$ = parser.NewIndex($1, $3); }
    ;
arguments
    : '(' argument_list ')' { $$ = $2; }
    ;
lhs
    : new_expression
    | call
    ;
postfix
    : lhs
    | lhs INC { $$ = parser.NewAssign($1, nullptr, akIncrement); $$->Set(nfPostfix); }
    | lhs DEC { $$ = parser.NewAssign($1, nullptr, akDecrement); $$->Set(nfPostfix); }
    ;
unary
    : postfix
    | INC lhs { $$ = parser.NewAssign($2, nullptr, akIncrement); }
    | DEC lhs { $$ = parser.NewAssign($2, nullptr, akDecrement); }
    | INC_NL lhs { $$ = parser.NewAssign($2, nullptr, akIncrement); }
    | DEC_NL lhs { $$ = parser.NewAssign($2, nullptr, akDecrement); }
    | '-' unary { $$ = parser.New<TUnOpNode>(TUnaryOp::Negate, $2); }
    | '+' unary { $$ = parser.New<TUnOpNode>(TUnaryOp::Plus, $2); }
    | NOT unary { $$ = parser.New<TUnOpNode>(TUnaryOp::Not, $2); }
    | '~' unary { $$ = parser.New<TUnOpNode>(TUnaryOp::BitNot, $2); }
    | DELETE unary { $$ = parser.New<TUnOpNode>(TUnaryOp::Delete, $2); }
    | TYPEOF unary { $$ = parser.New<TUnOpNode>(TUnaryOp::TypeOf, $2); }
    | VOID unary { $$ = parser.New<TUnOpNode>(TUnaryOp::Void, $2); }
    ;
operation
    : unary
    | operation '*' operation { $$ = parser.NewBinOp('*', $1, $3); }
    | operation '/' operation { $$ = parser.NewBinOp('/', $1, $3); }
    | operation '%' operation { $$ = parser.NewBinOp('%', $1, $3); }
    | operation '+' operation { $$ = parser.NewBinOp('+', $1, $3); }
    | operation STR_ADD operation { $$ = parser.NewBinOp(tkStrAdd, $1, $3); }
    | operation '-' operation { $$ = parser.NewBinOp('-', $1, $3); }
    | operation EQ operation { $$ = parser.NewBinOp(tkEquals, $1, $3); }
    | operation STR_EQ operation { $$ = parser.NewBinOp(tkStrEq, $1, $3); }
    | operation NE operation { $$ = parser.NewBinOp(tkNotEquals, $1, $3); }
    | operation STR_NE operation { $$ = parser.NewBinOp(tkStrNe, $1, $3); }
    | operation STRICT_EQ operation { $$ = parser.NewBinOp(tkStrictEquals, $1, $3); }
    | operation STRICT_NE operation { $$ = parser.NewBinOp(tkStrictNotEquals, $1, $3); }
    | operation '<' operation { $$ = parser.NewBinOp('<', $1, $3); }
    | operation STR_LT operation { $$ = parser.NewBinOp(tkStrLt, $1, $3); }
    | operation '>' operation { $$ = parser.NewBinOp('>', $1, $3); }
    | operation STR_GT operation { $$ = parser.NewBinOp(tkStrGt, $1, $3); }
    | operation GE operation { $$ = parser.NewBinOp(tkGreaterEq, $1, $3); }
    | operation STR_GE operation { $$ = parser.NewBinOp(tkStrGe, $1, $3); }
    | operation LE operation { $$ = parser.NewBinOp(tkLessEq, $1, $3); }
    | operation STR_LE operation { $$ = parser.NewBinOp(tkStrLe, $1, $3); }
    | operation AND operation { $$ = parser.NewBinOp(tkAnd, $1, $3); }
    | operation OR operation { $$ = parser.NewBinOp(tkOr, $1, $3); }
    | operation SHL operation { $$ = parser.NewBinOp(tkShiftLeft, $1, $3); }
    | operation SHR operation { $$ = parser.NewBinOp(tkShiftRight, $1, $3); }
    | operation USHR operation { $$ = parser.NewBinOp(tkShiftRightUnsigned, $1, $3); }
    | operation BITAND operation { $$ = parser.NewBinOp(tkBitAnd, $1, $3); }
    | operation BITOR operation { $$ = parser.NewBinOp(tkBitOr, $1, $3); }
    | operation BITXOR operation { $$ = parser.NewBinOp(tkBitXor, $1, $3); }
    | operation INSTANCEOF operation { $$ = parser.NewBinOp(tkInstanceof, $1, $3); }
    ;
conditional
    : operation
    | operation '?' assignment ':' assignment { $$ = parser.New<TIfStmtNode>($1, $3, $5); }
    ;
assignment
    : conditional
    | lhs ASSIGNOP assignment { $$ = parser.NewAssign($1, $3, $2); }
    | lhs '=' assignment { $$ = parser.NewAssign($1, $3, akAssign); }
    ;
expression
    : assignment { TExprListNode* list = parser.New<TExprListNode>(); list->Set(nfSequence);
                   list->Items.push_back($1); $$ = list; }
    | expression ',' assignment { $$ = parser.AppendToSequence($1, $3); }
    ;
argument_list
    : assignment { $$ = parser.New<TExprListNode>(); $$->Items.push_back($1); }
    | argument_list ',' assignment { $$ = $1; $$->Items.push_back($3); }
    | %empty { $$ = parser.New<TExprListNode>(); }
    ;
array_literal
    : '[' argument_list ']' { $$ = $2; $$->Set(nfArrayLiteral); }
    ;
object_literal
    : '{' pairs '}' { $$ = $2; $$->Set(nfObjectLiteral); }
    | '{' '}' { $$ = parser.New<TExprListNode>(); $$->Set(nfObjectLiteral); }
    ;
pairs
    : pair { $$ = parser.New<TExprListNode>(); $$->Items.push_back($1->Value); $$->Items.push_back($1->Name); }
    | pairs ',' pair { $$ = $1; $$->Items.push_back($3->Value); $$->Items.push_back($3->Name); }
    ;
pair
    : IDENT ':' assignment { $$ = parser.New<TPairNode>(parser.New<TStrNode>($1), $3); }
    | STRING ':' assignment { $$ = parser.New<TPairNode>(parser.New<TStrNode>($1), $3); }
    | NUMBER ':' assignment { $$ = parser.New<TPairNode>(parser.New<TNumberNode>($1), $3); }
    ;
var_statement
    : VAR var_declarations terminator { $$ = $2; }
    ;
var_declarations
    : var_declaration { $$ = parser.New<TVarDeclListNode>(); $$->Decls.push_back($1); }
    | var_declarations ',' var_declaration { $$ = $1; $$->Decls.push_back($3); }
    ;
var_declaration
    : IDENT type_opt '=' assignment { $$ = parser.NewVarDecl($1, $2, $4); }
    | IDENT type_opt { $$ = parser.NewVarDecl($1, $2, nullptr); }
    ;
if_statement
    : IF '(' expression ')' statement ELSE statement { $$ = parser.New<TIfStmtNode>($3, $5, $7); }
    | IF '(' expression ')' statement { $$ = parser.New<TIfStmtNode>($3, $5, nullptr); }
    ;
switch_statement
    : SWITCH '(' expression ')' '{' case_clauses '}' { $$ = parser.New<TSwitchStmtNode>($3, $6); }
    | SWITCH '(' expression ')' '{' '}' { $$ = parser.New<TSwitchStmtNode>($3, nullptr); }
    ;
case_clauses
    : case_clause { $$ = parser.New<TSwitchCaseListNode>(); $$->Clauses.push_back($1); }
    | case_clauses case_clause { $$ = $1; $$->Clauses.push_back($2); }
    ;
case_clause
    : CASE expression ':' statements_opt { $$ = parser.New<TSwitchCaseNode>($2, $4); }
    | DEFAULT ':' statements_opt { $$ = parser.New<TSwitchCaseNode>(nullptr, $3); }
    ;
frame_loaded_statement
    : IFFRAMELOADED '(' NUMBER ')' statement { $$ = parser.NewWaitForFrame($3, $5); }
    ;
while_statement
    : WHILE '(' expression ')' statement { $$ = parser.New<TLoopStmtNode>($3, $5); }
    ;
do_statement
    : DO statement WHILE '(' expression ')' do_end
        { $$ = parser.New<TLoopStmtNode>($5, $2); $$->Set(nfDoWhile); }
    ;
do_end
    : ';'
    | %empty
    ;
for_statement
    : for_head statement { $1->Body = $2; $$ = $1; }
    ;
for_head
    : FOR '(' for_init ';' for_condition ';' for_step ')' { $$ = parser.New<TForStmtNode>($3, $5, $7); }
    | FOR '(' VAR IDENT IN expression ')' { $$ = parser.NewForIn($4, $6); }
    | FOR '(' IDENT IN expression ')' { $$ = parser.NewForIn($3, $5); }
    ;
for_init
    : %empty { $$ = nullptr; }
    | VAR var_declarations { $$ = $2; }
    | expression { $$ = $1; $$->Set(nfResultDiscarded); }
    ;
for_condition
    : %empty { $$ = nullptr; }
    | expression
    ;
for_step
    : %empty { $$ = nullptr; }
    | expression { $$ = $1; $$->Set(nfResultDiscarded); }
    ;
break_statement
    : BREAK terminator { $$ = parser.New<TBreakStmtNode>(); }
    ;
continue_statement
    : CONTINUE terminator { $$ = parser.New<TContinueStmtNode>(); }
    ;
return_statement
    : RETURN terminator { $$ = parser.New<TReturnStmtNode>(nullptr); }
    | RETURN expression terminator { $$ = parser.New<TReturnStmtNode>($2); }
    ;
with_statement
    : WITH '(' expression ')' { parser.UseWith(); } statement { $$ = parser.New<TWithStmtNode>($3, $6); }
    ;
tell_target_statement
    : TELLTARGET '(' expression ')' statement { $$ = parser.New<TSetTargetNode>($3, $5); }
    ;
try_statement
    : TRY statement catch_clause finally_clause { $$ = parser.New<TTryStmtNode>($2, $3, $4); }
    | TRY statement catch_clause { $$ = parser.New<TTryStmtNode>($2, $3, nullptr); }
    | TRY statement finally_clause { $$ = parser.New<TTryStmtNode>($2, nullptr, $3); }
    ;
catch_clause
    : CATCH '(' IDENT type_opt ')' '{' statements_opt '}' { $$ = parser.New<TCatchNode>($3, $4, $7); }
    ;
finally_clause
    : FINALLY '{' statements_opt '}' { $$ = $3; }
    ;
throw_statement
    : THROW expression terminator { $$ = parser.New<TThrowStmtNode>($2); }
    ;
begin_class
    : %empty { parser.BeginClass($<name>-2, $<name>-1, $<names>0, false); }
    ;
class_definition
    : CLASS dotted_name extends_opt implements_opt begin_class '{' class_members '}'
        { $$ = parser.EndClass($2, $3, $4, $7); }
    | CLASS dotted_name extends_opt implements_opt begin_class '{' '}'
        { $$ = parser.EndClass($2, $3, $4, parser.New<TClassBodyNode>()); }
    ;
dotted_name
    : IDENT { $$ = parser.New<TCompoundName>($1); }
    | dotted_name '.' IDENT { $$ = $1; $$->Add($3); }
    ;
extends_opt
    : %empty { $$ = nullptr; }
    | EXTENDS dotted_name { $$ = $2; }
    ;
implements_opt
    : %empty { $$ = nullptr; }
    | IMPLEMENTS name_list { $$ = $2; }
    ;
name_list
    : dotted_name { $$ = parser.New<TClassImplListNode>(); parser.AddInterface($$, $1); }
    | name_list ',' dotted_name { $$ = $1; parser.AddInterface($$, $3); }
    ;
class_members
    : class_member { $$ = parser.New<TClassBodyNode>(); parser.AddMember($$, $1); }
    | ';' { $$ = parser.New<TClassBodyNode>(); }
    | class_members class_member { $$ = $1; parser.AddMember($$, $2); }
    | class_members ';' { $$ = $1; }
    ;
class_member
    : field_member
    | method_member
    ;
field_member
    : var_statement { $$ = $1; }
    | modifiers var_statement { $$ = parser.AddModifiers($2, $1); }
    ;
method_member
    : function_declaration { $$ = $1; }
    | modifiers function_declaration { $$ = parser.AddModifiers($2, $1); }
    ;
modifier
    : STATIC { $$ = ifStatic; }
    | PUBLIC { $$ = ifPublic; }
    | PRIVATE { $$ = ifPrivate; }
    ;
modifiers
    : modifier
    | modifiers modifier { $$ = $1 | $2; }
    ;
import_statement
    : IMPORT dotted_name { $$ = parser.Import($2); }
    | IMPORT dotted_name '.' '*' terminator { $$ = parser.ImportPackage($2); }
    ;
begin_interface
    : %empty { parser.BeginClass($<name>-1, $<name>0, nullptr, true); }
    ;
interface_definition
    : INTERFACE dotted_name interface_extends_opt begin_interface '{' interface_members '}'
        { $$ = parser.EndInterface($2, $3); }
    ;
interface_extends_opt
    : %empty { $$ = nullptr; }
    | EXTENDS dotted_name { $$ = $2; }
    ;
interface_members
    : %empty
    | interface_members interface_method
    ;
interface_method
    : FUNCTION IDENT open_function_scope '(' parameters ')' type_opt terminator { parser.PopScope(); }
    ;

%%
