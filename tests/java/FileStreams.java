import java.io.BufferedReader;
import java.io.File;
import java.io.FileInputStream;
import java.io.FileNotFoundException;
import java.io.FileOutputStream;
import java.io.FileReader;
import java.io.FileWriter;
import java.io.IOException;
import java.util.Arrays;

// Files by name: path handling of java.io.File, queries and changes on a
// scratch directory, byte and character streams opened by name, and the
// exceptions of each failure.
public class FileStreams {
    static void paths() {
        String[][] cases = {
            {"a//b/"}, {"/"}, {"a"}, {"/x/"}, {"dir/sub/name.txt"}, {""}, {"//"},
        };
        for (int i = 0; i < cases.length; i++) {
            File f = new File(cases[i][0]);
            System.out.println("[" + cases[i][0] + "] path=" + f.getPath() + " name=" + f.getName() + " parent="
                               + f.getParent() + " abs=" + f.isAbsolute());
        }
        System.out.println(new File("", "x").getPath() + " " + new File("/a", "b").getPath() + " "
                           + new File("a/", "/b").getPath() + " " + new File((String) null, "c").getPath() + " "
                           + new File(new File("d"), "e").getPath());
        System.out.println(new File("a").equals(new File("a/")) + " " + new File("a").compareTo(new File("b")));
    }

    public static void main(String[] args) throws IOException {
        paths();
        String base = System.getProperty("java.io.tmpdir", "/tmp");
        File dir = new File(base, "orva-files-" + System.nanoTime());
        System.out.println("mkdir " + dir.mkdir() + " again " + dir.mkdir() + " dir " + dir.isDirectory()
                           + " file " + dir.isFile() + " exists " + dir.exists());
        File data = new File(dir, "data.bin");
        System.out.println("absent exists " + data.exists() + " length " + data.length() + " delete " + data.delete());

        FileOutputStream out = new FileOutputStream(data);
        byte[] bytes = new byte[300];
        for (int i = 0; i < bytes.length; i++) {
            bytes[i] = (byte) (i * 7);
        }
        out.write(bytes);
        out.write(255);
        out.write(bytes, 10, 5);
        out.close();
        out.close();
        System.out.println("written length " + data.length() + " file " + data.isFile() + " read " + data.canRead());
        try {
            out.write(1);
        } catch (IOException e) {
            System.out.println("write after close: " + e);
        }

        FileOutputStream app = new FileOutputStream(data.getPath(), true);
        app.write(new byte[] {1, 2, 3});
        app.close();
        System.out.println("appended length " + data.length());

        FileInputStream in = new FileInputStream(data.getPath());
        System.out.println("available " + in.available());
        byte[] back = new byte[300];
        int got = 0;
        while (got < back.length) {
            int n = in.read(back, got, back.length - got);
            if (n < 0) {
                break;
            }
            got += n;
        }
        System.out.println("read back " + got + " same " + Arrays.equals(back, bytes) + " next " + in.read());
        System.out.println("skip " + in.skip(3) + " then " + in.read() + " skip past end " + in.skip(100)
                           + " available " + in.available() + " eof " + in.read() + " " + in.read(back, 0, 4));
        in.close();
        try {
            in.read();
        } catch (IOException e) {
            System.out.println("read after close: " + e);
        }

        File text = new File(dir, "text.txt");
        FileWriter w = new FileWriter(text);
        w.write("first line\nsecond \u00e9\u4e2d line\n");
        w.close();
        FileWriter w2 = new FileWriter(text.getPath(), true);
        w2.write("third");
        w2.close();
        BufferedReader r = new BufferedReader(new FileReader(text));
        String line;
        while ((line = r.readLine()) != null) {
            System.out.println("line [" + line + "] " + line.length());
        }
        r.close();
        System.out.println("text length " + text.length());

        File sub = new File(dir, "sub");
        System.out.println("mkdir sub " + sub.mkdir() + " nested mkdirs " + new File(dir, "p/q/r").mkdirs()
                           + " " + new File(dir, "p/q/r").isDirectory());
        String[] names = dir.list();
        Arrays.sort(names);
        System.out.println("list " + Arrays.toString(names) + " of file " + data.list());
        File moved = new File(dir, "moved.bin");
        System.out.println("rename " + data.renameTo(moved) + " old " + data.exists() + " new " + moved.length());
        File fresh = new File(dir, "fresh");
        System.out.println("createNewFile " + fresh.createNewFile() + " again " + fresh.createNewFile() + " length "
                           + fresh.length());

        String[] missing = {dir.getPath() + "/none/x", dir.getPath()};
        for (int i = 0; i < missing.length; i++) {
            String shown = missing[i].substring(dir.getPath().length());
            try {
                new FileInputStream(missing[i]);
            } catch (FileNotFoundException e) {
                System.out.println("open in [" + shown + "]: " + e.getMessage().substring(dir.getPath().length()));
            }
            try {
                new FileOutputStream(missing[i]);
            } catch (FileNotFoundException e) {
                System.out.println("open out [" + shown + "]: " + e.getMessage().substring(dir.getPath().length()));
            }
        }
        try {
            new FileReader(new File(dir, "nothing"));
        } catch (FileNotFoundException e) {
            System.out.println("reader: " + (e instanceof IOException) + " "
                               + e.getMessage().substring(dir.getPath().length()));
        }

        System.out.println("delete non-empty dir " + dir.delete());
        String[] all = {"moved.bin", "text.txt", "fresh", "sub", "p/q/r", "p/q", "p"};
        for (int i = 0; i < all.length; i++) {
            System.out.print(new File(dir, all[i]).delete() ? "d" : "-");
        }
        System.out.println(" delete dir " + dir.delete() + " exists " + dir.exists() + " list " + dir.list());
    }
}
