package java.lang;

/** Marks classes whose instances Object.clone may copy. */
public interface Cloneable {
}
