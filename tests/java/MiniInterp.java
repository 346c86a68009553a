import java.util.Hashtable;
import java.util.Vector;

// A small interpreter: a tokenizer, a recursive-descent parser building an
// AST of node classes, and an evaluator with variables, while, if, print and
// functions without arguments.  Runtime errors (division by zero, unknown
// variables) and parse errors are reported as exceptions and recovered from.
public class MiniInterp {
    static class ParseError extends Exception {
        ParseError(String m) { super(m); }
    }

    static class RunError extends RuntimeException {
        RunError(String m) { super(m); }
    }

    static final int NUM = 0, NAME = 1, OP = 2, END = 3;

    static class Lexer {
        final String src;
        int pos;
        int kind;
        String text;
        long value;

        Lexer(String src) { this.src = src; }

        void next() throws ParseError {
            while (pos < src.length() && Character.isWhitespace(src.charAt(pos))) pos++;
            if (pos >= src.length()) {
                kind = END;
                text = "<end>";
                return;
            }
            char c = src.charAt(pos);
            int start = pos;
            if (Character.isDigit(c)) {
                while (pos < src.length() && Character.isDigit(src.charAt(pos))) pos++;
                kind = NUM;
                text = src.substring(start, pos);
                value = Long.parseLong(text);
            } else if (Character.isLetter(c)) {
                while (pos < src.length() && Character.isLetterOrDigit(src.charAt(pos))) pos++;
                kind = NAME;
                text = src.substring(start, pos);
            } else {
                String two = pos + 1 < src.length() ? src.substring(pos, pos + 2) : "";
                if (two.equals("==") || two.equals("!=") || two.equals("<=") || two.equals(">=")) {
                    pos += 2;
                    text = two;
                } else if ("+-*/%<>=(){};".indexOf(c) >= 0) {
                    pos++;
                    text = String.valueOf(c);
                } else {
                    throw new ParseError("bad character '" + c + "' at " + pos);
                }
                kind = OP;
            }
        }
    }

    static abstract class Node {
        abstract long eval(Env env);
    }

    static class Env {
        final Hashtable<String, Long> vars = new Hashtable<String, Long>();
        final Hashtable<String, Node> funcs = new Hashtable<String, Node>();
        final StringBuilder out = new StringBuilder();
        int steps;
    }

    static class Num extends Node {
        final long v;
        Num(long v) { this.v = v; }
        long eval(Env env) { return v; }
    }

    static class Var extends Node {
        final String name;
        Var(String name) { this.name = name; }
        long eval(Env env) {
            Long v = env.vars.get(name);
            if (v == null) throw new RunError("unknown variable " + name);
            return v;
        }
    }

    static class Bin extends Node {
        final String op;
        final Node l, r;
        Bin(String op, Node l, Node r) { this.op = op; this.l = l; this.r = r; }
        long eval(Env env) {
            long a = l.eval(env), b = r.eval(env);
            switch (op) {
                case "+": return a + b;
                case "-": return a - b;
                case "*": return a * b;
                case "/":
                    if (b == 0) throw new RunError("division by zero");
                    return a / b;
                case "%": return a % b;
                case "<": return a < b ? 1 : 0;
                case ">": return a > b ? 1 : 0;
                case "<=": return a <= b ? 1 : 0;
                case ">=": return a >= b ? 1 : 0;
                case "==": return a == b ? 1 : 0;
                case "!=": return a != b ? 1 : 0;
                default: throw new RunError("bad operator " + op);
            }
        }
    }

    static class Assign extends Node {
        final String name;
        final Node e;
        Assign(String name, Node e) { this.name = name; this.e = e; }
        long eval(Env env) {
            long v = e.eval(env);
            env.vars.put(name, v);
            return v;
        }
    }

    static class Print extends Node {
        final Node e;
        Print(Node e) { this.e = e; }
        long eval(Env env) {
            long v = e.eval(env);
            env.out.append(v).append(' ');
            return v;
        }
    }

    static class Block extends Node {
        final Vector<Node> body = new Vector<Node>();
        long eval(Env env) {
            long last = 0;
            for (int i = 0; i < body.size(); i++) last = body.elementAt(i).eval(env);
            return last;
        }
    }

    static class While extends Node {
        final Node cond, body;
        While(Node cond, Node body) { this.cond = cond; this.body = body; }
        long eval(Env env) {
            long n = 0;
            while (cond.eval(env) != 0) {
                if (++env.steps > 1000000) throw new RunError("step limit");
                body.eval(env);
                n++;
            }
            return n;
        }
    }

    static class If extends Node {
        final Node cond, then, otherwise;
        If(Node cond, Node then, Node otherwise) { this.cond = cond; this.then = then; this.otherwise = otherwise; }
        long eval(Env env) {
            if (cond.eval(env) != 0) return then.eval(env);
            return otherwise == null ? 0 : otherwise.eval(env);
        }
    }

    static class Def extends Node {
        final String name;
        final Node body;
        Def(String name, Node body) { this.name = name; this.body = body; }
        long eval(Env env) {
            env.funcs.put(name, body);
            return 0;
        }
    }

    static class Call extends Node {
        final String name;
        Call(String name) { this.name = name; }
        long eval(Env env) {
            Node f = env.funcs.get(name);
            if (f == null) throw new RunError("unknown function " + name);
            return f.eval(env);
        }
    }

    static class Parser {
        final Lexer lx;
        Parser(String src) throws ParseError {
            lx = new Lexer(src);
            lx.next();
        }

        boolean at(String op) { return lx.kind == OP && lx.text.equals(op); }

        void expect(String op) throws ParseError {
            if (!at(op)) throw new ParseError("expected '" + op + "' but found '" + lx.text + "'");
            lx.next();
        }

        Block program() throws ParseError {
            Block b = new Block();
            while (lx.kind != END) b.body.addElement(statement());
            return b;
        }

        Node statement() throws ParseError {
            if (lx.kind == NAME) {
                String w = lx.text;
                if (w.equals("print")) {
                    lx.next();
                    Node e = expr();
                    expect(";");
                    return new Print(e);
                }
                if (w.equals("while")) {
                    lx.next();
                    expect("(");
                    Node c = expr();
                    expect(")");
                    return new While(c, statement());
                }
                if (w.equals("if")) {
                    lx.next();
                    expect("(");
                    Node c = expr();
                    expect(")");
                    Node t = statement();
                    Node o = null;
                    if (lx.kind == NAME && lx.text.equals("else")) {
                        lx.next();
                        o = statement();
                    }
                    return new If(c, t, o);
                }
                if (w.equals("def")) {
                    lx.next();
                    String name = lx.text;
                    lx.next();
                    return new Def(name, statement());
                }
            }
            if (at("{")) {
                lx.next();
                Block b = new Block();
                while (!at("}")) {
                    if (lx.kind == END) throw new ParseError("unclosed block");
                    b.body.addElement(statement());
                }
                lx.next();
                return b;
            }
            Node e = expr();
            expect(";");
            return e;
        }

        Node expr() throws ParseError {
            Node l = sum();
            while (at("<") || at(">") || at("<=") || at(">=") || at("==") || at("!=")) {
                String op = lx.text;
                lx.next();
                l = new Bin(op, l, sum());
            }
            return l;
        }

        Node sum() throws ParseError {
            Node l = term();
            while (at("+") || at("-")) {
                String op = lx.text;
                lx.next();
                l = new Bin(op, l, term());
            }
            return l;
        }

        Node term() throws ParseError {
            Node l = atom();
            while (at("*") || at("/") || at("%")) {
                String op = lx.text;
                lx.next();
                l = new Bin(op, l, atom());
            }
            return l;
        }

        Node atom() throws ParseError {
            if (lx.kind == NUM) {
                long v = lx.value;
                lx.next();
                return new Num(v);
            }
            if (lx.kind == NAME) {
                String name = lx.text;
                lx.next();
                if (at("=")) {
                    lx.next();
                    return new Assign(name, expr());
                }
                if (at("(")) {
                    lx.next();
                    expect(")");
                    return new Call(name);
                }
                return new Var(name);
            }
            if (at("(")) {
                lx.next();
                Node e = expr();
                expect(")");
                return e;
            }
            if (at("-")) {
                lx.next();
                return new Bin("-", new Num(0), atom());
            }
            throw new ParseError("unexpected '" + lx.text + "'");
        }
    }

    static void run(String title, String src) {
        Env env = new Env();
        try {
            Block prog = new Parser(src).program();
            long result = prog.eval(env);
            System.out.println(title + ": " + env.out.toString().trim() + " => " + result);
        } catch (ParseError e) {
            System.out.println(title + ": parse error: " + e.getMessage());
        } catch (RunError e) {
            System.out.println(title + ": runtime error: " + e.getMessage() + " after output [" + env.out.toString().trim() + "]");
        }
    }

    public static void main(String[] args) {
        run("factorial", "n = 20; f = 1; while (n > 1) { f = f * n; n = n - 1; } print f;");
        run("gcd", "a = 1071; b = 462; while (b != 0) { t = a % b; a = b; b = t; } print a;");
        run("collatz", "best = 0; arg = 0; i = 1; while (i < 300) { n = i; c = 0; "
            + "while (n != 1) { if (n % 2 == 0) n = n / 2; else n = 3 * n + 1; c = c + 1; } "
            + "if (c > best) { best = c; arg = i; } i = i + 1; } print arg; print best;");
        run("fib", "a = 0; b = 1; k = 0; while (k < 15) { print a; t = a + b; a = b; b = t; k = k + 1; } a;");
        run("functions", "def sq { r = x * x; } x = 12; sq(); print r; def twice { sq(); x = r; sq(); } twice(); print r;");
        run("precedence", "print 2 + 3 * 4 - 10 / 3; print (2 + 3) * -4; print 7 % 3 == 1; print 1 < 2 < 3;");
        run("divzero", "x = 5; print x; y = x / (x - 5); print y;");
        run("unknown", "print 1; print zz;");
        run("parse1", "x = (1 + 2;");
        run("parse2", "while (1) { x = 1;");
        run("parse3", "x = 3 $ 4;");
        run("bigloop", "s = 0; i = 0; while (i < 5000) { s = s + i * i % 7; i = i + 1; } print s;");
    }
}
