package java.io;

/** Chooses the names File.list keeps. */
public interface FilenameFilter {
    boolean accept(File dir, String name);
}
